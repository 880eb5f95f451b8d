#include "x11selectionreader.h"

#include "x11display.h"

#include <QCoreApplication>
#include <QCoroTimer>
#include <QDeadlineTimer>
#include <QPointer>
#include <QTimer>

#include <xcb/xcb.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

// Far above what the caller takes, so that a longer text need not be read to its end.
constexpr qsizetype textLimit = 1024 * 1024;
// A GetProperty asks for at most this many 32-bit units, so that no reply is huge.
constexpr std::uint32_t pieceUnits = 64 * 1024;
// Windows left to owners that have not answered; an owner frozen for good must not make us
// keep one more at every press.
constexpr qsizetype abandonedLimit = 8;

SelectionReader::Content textOf(QByteArray bytes, bool utf8)
{
    const bool whole = bytes.size() <= textLimit;
    bytes.truncate(textLimit);
    // Owners that hand out a C string include its terminator.
    if (bytes.endsWith('\0')) {
        bytes.chop(1);
    }
    if (bytes.isEmpty()) {
        return {};
    }
    QString text = utf8 ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
    if (!whole) {
        // Longer than what was read, so that the caller's length check (a few thousand characters)
        // refuses it rather than take a cut text for the whole.
        text += QChar(u'\u2026');
    }
    return {SelectionReader::Outcome::text, text};
}

} // namespace

struct X11SelectionReader::Conversion
{
    std::optional<xcb_atom_t> answer; // the property named by the owner's SelectionNotify
    bool newValue = false;            // the owner has written the next increment
    // Bounds each wait; the event filter restarts it at zero so that the read goes on from the
    // event loop, not from within the filter.
    QTimer timer;
};

struct X11SelectionReader::Property
{
    xcb_atom_t type = XCB_ATOM_NONE;
    std::uint8_t format = 0;
    QByteArray bytes;
};

namespace {

// Whether `arrived` came true before the bound passed and while the reader lived.
template <typename Conversion, typename Arrived>
QCoro::Task<bool> waitFor(QPointer<X11SelectionReader> reader, Conversion &conversion,
                          std::chrono::milliseconds bound, Arrived arrived)
{
    const QDeadlineTimer deadline(bound);
    while (reader && !arrived() && !deadline.hasExpired()) {
        // Woken by events that are not the awaited one too, so the bound is kept as a deadline.
        conversion.timer.start(
            std::chrono::ceil<std::chrono::milliseconds>(deadline.remainingTimeAsDuration()));
        co_await conversion.timer;
    }
    conversion.timer.stop();
    co_return !reader.isNull() && arrived();
}

} // namespace

X11SelectionReader::X11SelectionReader(QObject *parent, std::chrono::milliseconds bound)
    : SelectionReader(parent)
    , m_connection(X11Display::connection())
    , m_bound(bound)
{
    if (!m_connection) {
        return;
    }
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11SelectionReader::~X11SelectionReader()
{
    // The pending reads end as unanswered, from the event loop.
    for (Conversion *conversion : std::as_const(m_busy)) {
        conversion->timer.start(0);
    }
    // Without the application the connection has gone, and our windows with it.
    if (!m_connection || !QCoreApplication::instance()) {
        return;
    }
    QCoreApplication::instance()->removeNativeEventFilter(this);
    for (const QList<xcb_window_t> &windows : {m_idle, m_busy.keys(), m_abandoned}) {
        for (const xcb_window_t window : windows) {
            xcb_destroy_window(m_connection, window);
        }
    }
    xcb_flush(m_connection);
}

bool X11SelectionReader::needsFocus() const
{
    return false;
}

void X11SelectionReader::internAtoms()
{
    if (m_property != 0) {
        return;
    }
    // At the first read rather than at start, where every round trip holds the tray icon back;
    // asked all at once, answered in one round trip.
    const std::array<std::pair<std::uint32_t *, const char *>, 4> atoms{{
        {&m_clipboard, "CLIPBOARD"},
        {&m_utf8String, "UTF8_STRING"},
        {&m_incr, "INCR"},
        {&m_property, "QUENZAL_SELECTION"},
    }};
    std::array<xcb_intern_atom_cookie_t, atoms.size()> cookies{};
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        cookies[i] = xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(atoms[i].second)),
                                     atoms[i].second);
    }
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        const Reply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(m_connection, cookies[i], nullptr), &std::free);
        *atoms[i].first = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
}

QCoro::Task<SelectionReader::Content> X11SelectionReader::read(Source source)
{
    if (!m_connection) {
        co_return Content{};
    }
    internAtoms();
    const xcb_atom_t selection =
        source == Source::selection ? xcb_atom_t(XCB_ATOM_PRIMARY) : m_clipboard;
    const Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(m_connection,
                                      xcb_get_selection_owner(m_connection, selection), nullptr),
        &std::free);
    if (!owner || owner->owner == XCB_NONE) {
        co_return Content{};
    }

    const QPointer<X11SelectionReader> self(this);
    Conversion conversion;
    const xcb_window_t window = takeWindow();
    m_busy.insert(window, &conversion);
    const std::array targets{m_utf8String, xcb_atom_t(XCB_ATOM_STRING)};
    for (const xcb_atom_t target : targets) {
        conversion.answer.reset();
        xcb_convert_selection(m_connection, window, selection, target, m_property,
                              XCB_CURRENT_TIME);
        xcb_flush(m_connection);
        if (!co_await waitFor(self, conversion, m_bound,
                              [&conversion] { return conversion.answer.has_value(); })) {
            if (self) {
                self->abandon(window);
            }
            co_return Content{Outcome::unanswered};
        }
        if (*conversion.answer != m_property) {
            continue; // refused: the owner has no text of this kind
        }
        Property property = takeProperty(window, textLimit);
        bool whole = true; // false: increments left unread, the owner may write to the window
        if (property.type == m_incr) {
            // In increments: the owner writes each one once we have deleted the one before, and
            // an empty one ends the text.
            property = Property{};
            conversion.newValue = false;
            while (whole) {
                if (!co_await waitFor(self, conversion, m_bound,
                                      [&conversion] { return conversion.newValue; })) {
                    if (self) {
                        self->release(window, false);
                    }
                    co_return Content{Outcome::unanswered};
                }
                conversion.newValue = false;
                const Property piece = takeProperty(window, textLimit - property.bytes.size());
                if (piece.bytes.isEmpty()) {
                    break;
                }
                property.type = piece.type;
                property.format = piece.format;
                property.bytes += piece.bytes;
                whole = property.bytes.size() <= textLimit;
            }
        }
        // Some owners answer whatever is asked with the one kind of data they have.
        const bool utf8 = property.type == m_utf8String;
        const bool text = (utf8 || property.type == XCB_ATOM_STRING) && property.format == 8;
        if (text || !whole) {
            // An owner still sending increments learns from the loss of the window to stop.
            release(window, whole);
            co_return text ? textOf(std::move(property.bytes), utf8) : Content{};
        }
    }
    release(window, true);
    co_return Content{};
}

bool X11SelectionReader::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const std::uint8_t type = event->response_type & 0x7f;
    xcb_window_t window = XCB_WINDOW_NONE;
    if (type == XCB_SELECTION_NOTIFY) {
        window = static_cast<const xcb_selection_notify_event_t *>(message)->requestor;
    } else if (type == XCB_PROPERTY_NOTIFY) {
        window = static_cast<const xcb_property_notify_event_t *>(message)->window;
    } else {
        return false;
    }
    if (Conversion *conversion = m_busy.value(window)) {
        if (type == XCB_SELECTION_NOTIFY) {
            conversion->answer =
                static_cast<const xcb_selection_notify_event_t *>(message)->property;
        } else {
            const auto *change = static_cast<const xcb_property_notify_event_t *>(message);
            conversion->newValue |=
                change->atom == m_property && change->state == XCB_PROPERTY_NEW_VALUE;
        }
        conversion->timer.start(0);
        return true;
    }
    if (type == XCB_SELECTION_NOTIFY && m_abandoned.removeOne(window)) {
        // A late answer to a read that has ended: the owner may go on writing to this window.
        xcb_destroy_window(m_connection, window);
        xcb_flush(m_connection);
        return true;
    }
    return m_idle.contains(window) || m_abandoned.contains(window);
}

xcb_window_t X11SelectionReader::takeWindow()
{
    // Each conversion in flight has a window of its own. A refusal names only the window, the
    // selection and the kind of text asked for, so on a shared window a late refusal to a read
    // that has given up could pass for the answer to a newer one.
    if (!m_idle.isEmpty()) {
        return m_idle.takeLast();
    }
    const xcb_window_t window = xcb_generate_id(m_connection);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(m_connection, 0, window, m_root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    return window;
}

void X11SelectionReader::release(xcb_window_t window, bool reusable)
{
    m_busy.remove(window);
    if (reusable) {
        m_idle.append(window);
        return;
    }
    xcb_destroy_window(m_connection, window);
    xcb_flush(m_connection);
}

void X11SelectionReader::abandon(xcb_window_t window)
{
    m_busy.remove(window);
    m_abandoned.append(window);
    if (m_abandoned.size() > abandonedLimit) {
        xcb_destroy_window(m_connection, m_abandoned.takeFirst());
        xcb_flush(m_connection);
    }
}

X11SelectionReader::Property X11SelectionReader::takeProperty(xcb_window_t window, qsizetype limit)
{
    Property property;
    for (std::uint32_t offset = 0;;) {
        // The server deletes the property with the reply that reads its last byte.
        const Reply<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(m_connection,
                                   xcb_get_property(m_connection, 1, window, m_property,
                                                    XCB_GET_PROPERTY_TYPE_ANY, offset, pieceUnits),
                                   nullptr),
            &std::free);
        if (!reply) {
            return property;
        }
        property.type = reply->type;
        property.format = reply->format;
        const int length = xcb_get_property_value_length(reply.get());
        property.bytes.append(static_cast<const char *>(xcb_get_property_value(reply.get())),
                              length);
        if (reply->bytes_after == 0) {
            return property;
        }
        if (property.bytes.size() > limit) {
            xcb_delete_property(m_connection, window, m_property);
            xcb_flush(m_connection);
            return property;
        }
        offset += std::uint32_t(length / 4);
    }
}
