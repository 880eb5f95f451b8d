#include "x11globalshortcut.h"

#include "keysymbols.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr quint8 badAccess = 10;
constexpr quint16 modifierBits = 0xff;

// Keysyms that tell which modifier bit is which; only Shift, Lock and Control are fixed.
constexpr xcb_keysym_t keysymAltL = 0xffe9;
constexpr xcb_keysym_t keysymAltR = 0xffea;
constexpr xcb_keysym_t keysymSuperL = 0xffeb;
constexpr xcb_keysym_t keysymSuperR = 0xffec;
constexpr xcb_keysym_t keysymNumLock = 0xff7f;

struct FreeDeleter
{
    void operator()(void *pointer) const { std::free(pointer); }
};
template <typename T> using XcbPointer = std::unique_ptr<T, FreeDeleter>;

struct KeySymbolsDeleter
{
    void operator()(xcb_key_symbols_t *symbols) const { xcb_key_symbols_free(symbols); }
};

struct ModifierMasks
{
    quint16 alt = 0;
    quint16 super = 0;
    quint16 numLock = 0;
};

// Where the keyboard map puts Alt, Super and NumLock; Mod1, Mod4 and Mod2 almost everywhere.
ModifierMasks modifierMasks(xcb_connection_t *connection, xcb_key_symbols_t *symbols)
{
    ModifierMasks masks;
    const XcbPointer<xcb_get_modifier_mapping_reply_t> reply(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    if (reply) {
        const xcb_keycode_t *keycodes = xcb_get_modifier_mapping_keycodes(reply.get());
        const int perModifier = reply->keycodes_per_modifier;
        for (int modifier = 0; modifier < 8; ++modifier) {
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t keycode = keycodes[modifier * perModifier + i];
                for (int column = 0; keycode != 0 && column < 4; ++column) {
                    const xcb_keysym_t keysym =
                        xcb_key_symbols_get_keysym(symbols, keycode, column);
                    const quint16 bit = 1 << modifier;
                    if (keysym == keysymAltL || keysym == keysymAltR) {
                        masks.alt |= bit;
                    } else if (keysym == keysymSuperL || keysym == keysymSuperR) {
                        masks.super |= bit;
                    } else if (keysym == keysymNumLock) {
                        masks.numLock |= bit;
                    }
                }
            }
        }
    }
    if (masks.alt == 0) {
        masks.alt = XCB_MOD_MASK_1;
    }
    if (masks.super == 0) {
        masks.super = XCB_MOD_MASK_4;
    }
    return masks;
}

std::vector<xcb_window_t> rootWindows(xcb_connection_t *connection)
{
    std::vector<xcb_window_t> roots;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem;
         xcb_screen_next(&it)) {
        roots.push_back(it.data->root);
    }
    return roots;
}

} // namespace

X11GlobalShortcut::X11GlobalShortcut(QObject *parent)
    : GlobalShortcut(parent)
{
    if (auto *x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        m_connection = x11->connection();
        const XcbPointer<xcb_query_extension_reply_t> xkb(xcb_query_extension_reply(
            m_connection, xcb_query_extension(m_connection, 9, "XKEYBOARD"), nullptr));
        if (xkb && xkb->present) {
            m_xkbEvent = xkb->first_event;
        }
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
}

X11GlobalShortcut::~X11GlobalShortcut()
{
    release();
}

void X11GlobalShortcut::setShortcut(QKeyCombination combination)
{
    release();
    const QKeySequence sequence =
        combination.toCombined() != 0 ? QKeySequence(combination) : QKeySequence();
    m_sequence = sequence;
    if (sequence.isEmpty()) {
        return;
    }
    if (const std::optional<FailureInfo> failure = grab(sequence)) {
        emit failed(failure->reason, failure->kind);
        return;
    }
    m_registered = true;
    emit registered();
}

QKeyCombination X11GlobalShortcut::shortcut() const
{
    return m_sequence[0];
}

bool X11GlobalShortcut::isRegistered() const
{
    return m_registered;
}

bool X11GlobalShortcut::matches(const Combination &combination, quint8 keycode, quint16 state)
{
    // Above the modifiers the state holds the mouse buttons and the keyboard group, which the
    // grab does not look at either.
    const quint16 held = state & modifierBits & ~combination.ignoredModifiers;
    if (held != combination.modifiers) {
        return false;
    }
    for (const quint8 candidate : combination.keycodes) {
        if (candidate == keycode) {
            return true;
        }
    }
    return false;
}

bool X11GlobalShortcut::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (m_sequence.isEmpty() || eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    // XKB's new-keyboard and map notifications carry their kind in the second byte.
    constexpr quint8 xkbNewKeyboard = 0;
    constexpr quint8 xkbMap = 1;
    const quint8 type = event->response_type & 0x7f;
    if (type == XCB_MAPPING_NOTIFY || (m_xkbEvent != 0 && type == m_xkbEvent &&
                                       (event->pad0 == xkbNewKeyboard || event->pad0 == xkbMap))) {
        if (!m_regrabPending) {
            m_regrabPending = true;
            // Once the burst of notifications is over, and after Qt has read the new map.
            QTimer::singleShot(0, this, &X11GlobalShortcut::regrab);
        }
        return false;
    }
    if (!m_registered) {
        return false;
    }
    // Events other clients send have the high bit set and do not match: only the keyboard counts.
    if (event->response_type != XCB_KEY_PRESS && event->response_type != XCB_KEY_RELEASE) {
        return false;
    }
    const auto *key = static_cast<const xcb_key_press_event_t *>(message);
    if (!matches(m_combination, key->detail, key->state)) {
        return false;
    }
    // Mostly the grab sends the key to the root window, which Qt ignores. While a menu or popup
    // of ours holds the keyboard, though, the combination arrives at that window instead: it is
    // the shortcut there too, and no window should see it.
    if (event->response_type == XCB_KEY_PRESS) {
        emit activated();
    }
    return true;
}

std::vector<std::pair<quint8, quint16>> X11GlobalShortcut::grabs() const
{
    std::vector<quint16> variants{m_combination.modifiers};
    if (m_combination.ignoredModifiers != 0) {
        variants.push_back(m_combination.modifiers | m_combination.ignoredModifiers);
    }
    std::vector<std::pair<quint8, quint16>> result;
    for (const quint8 keycode : m_combination.keycodes) {
        for (const quint16 modifiers : variants) {
            result.emplace_back(keycode, modifiers);
        }
    }
    return result;
}

std::optional<GlobalShortcut::FailureInfo> X11GlobalShortcut::grab(const QKeySequence &sequence)
{
    const QString text = sequence.toString(QKeySequence::NativeText);
    if (!m_connection) {
        return FailureInfo{tr("%1 cannot be registered without an X11 display").arg(text),
                           Failure::unavailable};
    }
    if (sequence.count() != 1) {
        return FailureInfo{tr("%1 is not a single key with modifiers").arg(text),
                           Failure::unusable};
    }
    const QKeyCombination combination = sequence[0];
    const quint32 keysym = KeySymbols::fromQtKey(combination.key());
    if (keysym == 0) {
        return FailureInfo{tr("%1 has no X11 key symbol").arg(text), Failure::unusable};
    }

    // Read afresh each time: the keyboard map may have changed since the last grab.
    const std::unique_ptr<xcb_key_symbols_t, KeySymbolsDeleter> symbols(
        xcb_key_symbols_alloc(m_connection));
    Combination wanted;
    if (const XcbPointer<xcb_keycode_t> keycodes{
            xcb_key_symbols_get_keycode(symbols.get(), keysym)}) {
        for (const xcb_keycode_t *keycode = keycodes.get(); *keycode != XCB_NO_SYMBOL; ++keycode) {
            wanted.keycodes.push_back(*keycode);
        }
    }
    if (wanted.keycodes.empty()) {
        return FailureInfo{tr("No key on this keyboard types %1").arg(text), Failure::unusable};
    }
    const ModifierMasks masks = modifierMasks(m_connection, symbols.get());
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    wanted.modifiers = (modifiers & Qt::ShiftModifier ? XCB_MOD_MASK_SHIFT : 0) |
                       (modifiers & Qt::ControlModifier ? XCB_MOD_MASK_CONTROL : 0) |
                       (modifiers & Qt::AltModifier ? masks.alt : 0) |
                       (modifiers & Qt::MetaModifier ? masks.super : 0);
    wanted.ignoredModifiers = masks.numLock & ~wanted.modifiers;
    m_combination = wanted;

    // Checked requests, so that a refusal comes back here rather than to Qt's error handler;
    // all of them go out before the first check, which makes it a single round trip.
    std::vector<xcb_void_cookie_t> cookies;
    for (const xcb_window_t root : rootWindows(m_connection)) {
        for (const auto &[keycode, modifiers] : grabs()) {
            cookies.push_back(xcb_grab_key_checked(m_connection, false, root, modifiers, keycode,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    quint8 error = 0;
    for (const xcb_void_cookie_t cookie : cookies) {
        if (const XcbPointer<xcb_generic_error_t> reply{xcb_request_check(m_connection, cookie)}) {
            error = error != 0 ? error : reply->error_code;
        }
    }
    if (error == 0) {
        return std::nullopt;
    }
    // Ungrabbing touches only our own grabs, so the ones another client holds stay its own.
    ungrab();
    m_combination = {};
    if (error == badAccess) {
        return FailureInfo{tr("%1 is already taken by another program").arg(text), Failure::taken};
    }
    return FailureInfo{tr("%1 could not be registered (X error %2)").arg(text).arg(error),
                       Failure::unavailable};
}

void X11GlobalShortcut::regrab()
{
    m_regrabPending = false;
    const QKeySequence sequence = m_sequence;
    if (sequence.isEmpty()) {
        return;
    }
    const bool wasRegistered = m_registered;
    release();
    m_sequence = sequence;
    const std::optional<FailureInfo> failure = grab(sequence);
    m_registered = !failure;
    if (!m_registered && wasRegistered) {
        emit failed(failure->reason, failure->kind);
    } else if (m_registered && !wasRegistered) {
        emit registered();
    }
}

void X11GlobalShortcut::release()
{
    if (m_registered) {
        ungrab();
    }
    m_registered = false;
    m_combination = {};
}

void X11GlobalShortcut::ungrab()
{
    // Without the application the connection has gone, and the grabs with it.
    if (!qGuiApp) {
        return;
    }
    for (const xcb_window_t root : rootWindows(m_connection)) {
        for (const auto &[keycode, modifiers] : grabs()) {
            xcb_ungrab_key(m_connection, keycode, root, modifiers);
        }
    }
    xcb_flush(m_connection);
}
