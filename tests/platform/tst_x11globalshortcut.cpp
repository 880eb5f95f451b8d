// The X11 global shortcut on the real X server of scripts/with-desktop; matches() needs none.
#include "x11desktop.h"
#include "x11globalshortcut.h"

#include <QKeyEvent>
#include <QMenu>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <memory>

using X11Desktop::xdotool;

namespace {

constexpr quint16 shift = XCB_MOD_MASK_SHIFT;
constexpr quint16 control = XCB_MOD_MASK_CONTROL;
constexpr quint16 alt = XCB_MOD_MASK_1;
constexpr quint16 numLock = XCB_MOD_MASK_2;

const QKeyCombination altSpace(Qt::AltModifier | Qt::Key_Space);
const QString takenText = QStringLiteral("Alt+Space is already taken by another program");

quint8 keycodeOf(xcb_keysym_t keysym)
{
    xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(
        qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection());
    xcb_keycode_t *keycodes = xcb_key_symbols_get_keycode(symbols, keysym);
    const quint8 keycode = keycodes ? keycodes[0] : 0;
    std::free(keycodes);
    xcb_key_symbols_free(symbols);
    return keycode;
}

} // namespace

// The keys a widget is given.
class KeyRecorder : public QObject
{
public:
    using QObject::QObject;
    QList<int> keys;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            keys << static_cast<QKeyEvent *>(event)->key();
        }
        return QObject::eventFilter(watched, event);
    }
};

// A second X client, to hold keys against ours.
class OtherClient
{
public:
    OtherClient()
        : m_connection(xcb_connect(nullptr, nullptr))
        , m_root(xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root)
    {}
    ~OtherClient() { xcb_disconnect(m_connection); }
    Q_DISABLE_COPY(OtherClient)

    bool grab(quint8 keycode, quint16 modifiers)
    {
        xcb_generic_error_t *error = xcb_request_check(
            m_connection, xcb_grab_key_checked(m_connection, false, m_root, modifiers, keycode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        return error == nullptr;
    }

private:
    xcb_connection_t *m_connection;
    xcb_window_t m_root;
};

class TestX11GlobalShortcut : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup()
    {
        m_shortcut.reset();
        setLock({});
    }
    void matches_data();
    void matches();
    void keys_data();
    void keys();
    void pressInAnotherProgram();
    void whileOurPopupHoldsTheKeyboard();
    void takenByAnotherClient();
    void takenByWindowManager();

private:
    // Lock keys toggle: pressing the one that is on turns it off.
    void setLock(const QString &lock)
    {
        for (const QString &key : {m_lock, lock}) {
            QVERIFY(key.isEmpty() || xdotool({"key", key}));
        }
        m_lock = lock;
    }

    std::unique_ptr<X11Desktop::TypingWindow> m_window;
    KeyRecorder *m_keys = nullptr;
    std::unique_ptr<X11GlobalShortcut> m_shortcut;
    QString m_lock;
};

void TestX11GlobalShortcut::init()
{
    const QByteArray function = QTest::currentTestFunction();
    if (function == "matches") {
        return;
    }
    QUENZAL_REQUIRE_DESKTOP();
    if (qEnvironmentVariableIsSet("QUENZAL_DESKTOP_DEFAULT_OPENBOX") !=
        (function == "takenByWindowManager")) {
        QSKIP("runs on a desktop whose window manager holds Alt+Space, or on one whose does not");
    }
    if (!m_window) {
        m_window = std::make_unique<X11Desktop::TypingWindow>(
            QStringLiteral("tst_x11globalshortcut"), QRect(50, 50, 300, 80));
        m_keys = new KeyRecorder(&m_window->window);
        m_window->edit->installEventFilter(m_keys);
    }
    m_window->focus();
    m_keys->keys.clear();
    m_shortcut = std::make_unique<X11GlobalShortcut>();
}

void TestX11GlobalShortcut::matches_data()
{
    QTest::addColumn<quint16>("wanted");
    QTest::addColumn<quint8>("keycode");
    QTest::addColumn<quint16>("state");
    QTest::addColumn<bool>("match");

    const quint8 key = 65;
    QTest::newRow("alt") << alt << key << alt << true;
    QTest::newRow("alt, num lock on") << alt << key << quint16(alt | numLock) << true;
    QTest::newRow("alt, second group") << alt << key << quint16(alt | 1 << 13) << true;
    QTest::newRow("alt+shift") << alt << key << quint16(alt | shift) << false;
    QTest::newRow("other key") << alt << quint8(38) << alt << false;
}

void TestX11GlobalShortcut::matches()
{
    QFETCH(quint16, wanted);
    QFETCH(quint8, keycode);
    QFETCH(quint16, state);
    QFETCH(bool, match);

    const X11GlobalShortcut::Combination combination{{65}, wanted, numLock};
    QCOMPARE(X11GlobalShortcut::matches(combination, keycode, state), match);
}

void TestX11GlobalShortcut::keys_data()
{
    QTest::addColumn<QList<QKeyCombination>>("shortcuts"); // set one after the other
    QTest::addColumn<QString>("lock");
    QTest::addColumn<QStringList>("keys"); // for xdotool
    QTest::addColumn<int>("activations");  // the space then goes to the focused window if none

    const QList<QKeyCombination> ours{altSpace};
    // Space let go before Alt, so that its release still carries the combination: one press,
    // one activation.
    const QStringList press{"keydown", "alt", "keydown", "space", "keyup", "space", "keyup", "alt"};
    QTest::newRow("alt+space") << ours << QString() << press << 1;
    // NumLock is a state the user leaves on, not a key held for the shortcut.
    QTest::newRow("num lock on") << ours << QStringLiteral("Num_Lock") << press << 1;
    QTest::newRow("alt+shift+space")
        << ours << QString() << QStringList{"key", "alt+shift+space"} << 0;
    QTest::newRow("replaced") << QList{altSpace, QKeyCombination(Qt::ControlModifier |
                                                                 Qt::AltModifier | Qt::Key_K)}
                              << QString() << QStringList{"key", "ctrl+alt+k"} << 1;
}

void TestX11GlobalShortcut::keys()
{
    QFETCH(QList<QKeyCombination>, shortcuts);
    QFETCH(QString, lock);
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
    setLock(lock);

    QSignalSpy activated(m_shortcut.get(), &GlobalShortcut::activated);
    QVERIFY(xdotool(keys));
    m_window->typeMarker(QStringLiteral("1"));
    QCOMPARE(activated.count(), activations);
    QCOMPARE(m_keys->keys.contains(Qt::Key_Space), activations == 0);
    if (activations > 0) {
        QCOMPARE(m_window->edit->text(), QStringLiteral("1"));
    }
}

void TestX11GlobalShortcut::pressInAnotherProgram()
{
    m_shortcut->setShortcut(altSpace);
    QProcess other;
    other.start(QStringLiteral("xmessage"), {"-name", "quenzal-other-program", "another program"});
    QVERIFY(xdotool({"search", "--sync", "--onlyvisible", "--classname", "quenzal-other-program",
                     "windowactivate", "--sync"}));
    QTRY_VERIFY_WITH_TIMEOUT(QGuiApplication::focusWindow() == nullptr, 10'000);
    QSignalSpy activated(m_shortcut.get(), &GlobalShortcut::activated);
    QVERIFY(xdotool({"key", "alt+space"}));
    QVERIFY(activated.wait());
    other.kill();
    other.waitForFinished();
}

void TestX11GlobalShortcut::whileOurPopupHoldsTheKeyboard()
{
    m_shortcut->setShortcut(altSpace);
    // An open menu grabs the keyboard, which keeps passive grabs from firing: the key goes to
    // the menu instead.
    QMenu menu;
    menu.addAction(QStringLiteral("Copy"));
    KeyRecorder menuKeys;
    menu.installEventFilter(&menuKeys);
    menu.popup(QPoint(400, 400));
    QVERIFY(QTest::qWaitForWindowExposed(&menu));

    QSignalSpy activated(m_shortcut.get(), &GlobalShortcut::activated);
    QVERIFY(xdotool({"key", "alt+space", "Down"}));
    QVERIFY(QTest::qWaitFor([&] { return menuKeys.keys.contains(Qt::Key_Down); }, 10'000));
    QCOMPARE(activated.count(), 1);
    QVERIFY(!menuKeys.keys.contains(Qt::Key_Space));
}

void TestX11GlobalShortcut::takenByAnotherClient()
{
    auto other = std::make_unique<OtherClient>();
    // Only the plain combination: ours with NumLock is granted, and has to be given back.
    QVERIFY(other->grab(keycodeOf(' '), alt));

    QSignalSpy registered(m_shortcut.get(), &GlobalShortcut::registered);
    QSignalSpy failed(m_shortcut.get(), &GlobalShortcut::failed);
    m_shortcut->setShortcut(altSpace);
    QCOMPARE(registered.count(), 0);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().at(0).toString(), takenText);
    QVERIFY(!m_shortcut->isRegistered());
    QVERIFY(other->grab(keycodeOf(' '), alt | numLock));

    other.reset();
    m_shortcut->setShortcut(altSpace);
    QCOMPARE(registered.count(), 1);
    QVERIFY(m_shortcut->isRegistered());

    // Replaced, and then given back, every grab is released.
    m_shortcut->setShortcut(QKeyCombination(Qt::ControlModifier | Qt::AltModifier | Qt::Key_K));
    QVERIFY(OtherClient().grab(keycodeOf(' '), alt));
    QVERIFY(OtherClient().grab(keycodeOf(' '), alt | numLock));
    m_shortcut->setShortcut(QKeyCombination::fromCombined(0));
    QVERIFY(OtherClient().grab(keycodeOf('k'), control | alt));
    QCOMPARE(failed.count(), 1);
}

// Stock openbox binds Alt+Space to its window menu.
void TestX11GlobalShortcut::takenByWindowManager()
{
    QSignalSpy failed(m_shortcut.get(), &GlobalShortcut::failed);
    m_shortcut->setShortcut(altSpace);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().at(0).toString(), takenText);
    QVERIFY(!m_shortcut->isRegistered());
}

int main(int argc, char **argv)
{
    return X11Desktop::run<TestX11GlobalShortcut>(argc, argv);
}

#include "tst_x11globalshortcut.moc"
