// The X11 global shortcut on the real X server of scripts/with-desktop; matches() needs none.
#include "x11desktop.h"
#include "x11globalshortcut.h"

#include <QKeyEvent>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <memory>

using X11Desktop::xdotool;

namespace {

constexpr quint16 control = XCB_MOD_MASK_CONTROL;
constexpr quint16 alt = XCB_MOD_MASK_1;
constexpr quint16 numLock = XCB_MOD_MASK_2;

const QKeyCombination altSpace(Qt::AltModifier | Qt::Key_Space);

struct KeyRecorder : QObject
{
    QList<int> keys;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            keys << static_cast<QKeyEvent *>(event)->key();
        }
        return false;
    }
};

using Connection = std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)>;

// Whether another X client, held for as long as `client` lives, may grab `keysym`+`modifiers`.
bool othersGrab(xcb_keysym_t keysym, quint16 modifiers, const Connection &client)
{
    xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(client.get());
    xcb_keycode_t *keycodes = xcb_key_symbols_get_keycode(symbols, keysym);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(client.get())).data->root;
    xcb_generic_error_t *error = xcb_request_check(
        client.get(), xcb_grab_key_checked(client.get(), false, root, modifiers, keycodes[0],
                                           XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    std::free(keycodes);
    xcb_key_symbols_free(symbols);
    std::free(error);
    return error == nullptr;
}

bool othersGrab(xcb_keysym_t keysym, quint16 modifiers)
{
    return othersGrab(keysym, modifiers, Connection(xcb_connect(nullptr, nullptr), xcb_disconnect));
}

} // namespace

class TestX11GlobalShortcut : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (QTest::currentTestFunction() == QByteArray("matches")) {
            return;
        }
        QUENZAL_REQUIRE_DESKTOP();
        if (windowManagerHoldsAltSpace() && QTest::currentTestFunction() != QByteArray("taken")) {
            QSKIP("needs a desktop whose window manager leaves Alt+Space alone");
        }
        if (!m_window) {
            m_window = std::make_unique<X11Desktop::TypingWindow>(
                QStringLiteral("tst_x11globalshortcut"), QRect(50, 50, 300, 80));
            m_window->edit->installEventFilter(&m_keys);
        }
        m_window->focus();
        m_keys.keys.clear();
        m_shortcut = std::make_unique<X11GlobalShortcut>();
    }
    void cleanup()
    {
        m_shortcut.reset();
        QVERIFY(!std::exchange(m_numLockOn, false) || xdotool({"key", "Num_Lock"}));
    }

    // Alt wanted, NumLock and the keyboard group ignored.
    void matches()
    {
        const X11GlobalShortcut::Combination altA{{65}, alt, numLock};
        QVERIFY(X11GlobalShortcut::matches(altA, 65, alt | numLock | 1 << 13));
        QVERIFY(!X11GlobalShortcut::matches(altA, 38, alt));
    }

    void keys_data()
    {
        QTest::addColumn<QList<QKeyCombination>>("shortcuts"); // set one after the other
        QTest::addColumn<bool>("numLock");
        QTest::addColumn<QStringList>("keys"); // for xdotool
        QTest::addColumn<int>("activations");  // if none, the space goes to the focused window
        const QList<QKeyCombination> ours{altSpace};
        // Space let go before Alt, so that its release still carries the combination.
        const QStringList press{"keydown", "alt",   "keydown", "space",
                                "keyup",   "space", "keyup",   "alt"};
        QTest::newRow("alt+space") << ours << false << press << 1;
        QTest::newRow("num lock on") << ours << true << press << 1;
        QTest::newRow("alt+shift+space")
            << ours << false << QStringList{"key", "alt+shift+space"} << 0;
        QTest::newRow("replaced") << QList{altSpace, QKeyCombination(Qt::ControlModifier |
                                                                     Qt::AltModifier | Qt::Key_K)}
                                  << false << QStringList{"key", "ctrl+alt+k"} << 1;
    }
    void keys()
    {
        QFETCH(QList<QKeyCombination>, shortcuts);
        QFETCH(bool, numLock);
        QFETCH(QStringList, keys);
        QFETCH(int, activations);
        QSignalSpy registered(m_shortcut.get(), &GlobalShortcut::registered);
        QSignalSpy failed(m_shortcut.get(), &GlobalShortcut::failed);
        for (const QKeyCombination shortcut : shortcuts) {
            m_shortcut->setShortcut(shortcut);
        }
        QCOMPARE(registered.count(), shortcuts.size());
        QCOMPARE(failed.count(), 0);
        QVERIFY(m_shortcut->isRegistered());
        m_numLockOn = numLock;
        QVERIFY(!numLock || xdotool({"key", "Num_Lock"}));

        QSignalSpy activated(m_shortcut.get(), &GlobalShortcut::activated);
        QVERIFY(xdotool(keys));
        m_window->typeMarker(QStringLiteral("1"));
        QCOMPARE(activated.count(), activations);
        QCOMPARE(m_keys.keys.contains(Qt::Key_Space), activations == 0);
        QVERIFY(activations == 0 || m_window->edit->text() == QStringLiteral("1"));
    }

    // By another client, or by the window manager (stock openbox binds its window menu to it).
    void taken()
    {
        auto other = Connection(xcb_connect(nullptr, nullptr), xcb_disconnect);
        // Only the plain combination: ours with NumLock is granted, and must be given back.
        QVERIFY(windowManagerHoldsAltSpace() || othersGrab(' ', alt, other));
        QSignalSpy registered(m_shortcut.get(), &GlobalShortcut::registered);
        QSignalSpy failed(m_shortcut.get(), &GlobalShortcut::failed);
        m_shortcut->setShortcut(altSpace);
        QCOMPARE(registered.count(), 0);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().at(0).toString(),
                 QStringLiteral("Alt+Space is already taken by another program"));
        QVERIFY(!m_shortcut->isRegistered());
        if (windowManagerHoldsAltSpace()) {
            return;
        }
        QVERIFY(othersGrab(' ', alt | numLock, other));
        other.reset();
        m_shortcut->setShortcut(altSpace);
        QCOMPARE(registered.count(), 1);
        QVERIFY(m_shortcut->isRegistered());

        // Replaced, and then given back, every grab is released.
        m_shortcut->setShortcut(QKeyCombination(Qt::ControlModifier | Qt::AltModifier | Qt::Key_K));
        QVERIFY(othersGrab(' ', alt));
        QVERIFY(othersGrab(' ', alt | numLock));
        m_shortcut->setShortcut(QKeyCombination::fromCombined(0));
        QVERIFY(othersGrab('k', control | alt));
        QCOMPARE(failed.count(), 1);
    }

private:
    static bool windowManagerHoldsAltSpace()
    {
        return qEnvironmentVariableIsSet("QUENZAL_DESKTOP_DEFAULT_OPENBOX");
    }

    KeyRecorder m_keys;
    std::unique_ptr<X11Desktop::TypingWindow> m_window;
    std::unique_ptr<X11GlobalShortcut> m_shortcut;
    bool m_numLockOn = false;
};

int main(int argc, char **argv)
{
    return X11Desktop::run<TestX11GlobalShortcut>(argc, argv);
}

#include "tst_x11globalshortcut.moc"
