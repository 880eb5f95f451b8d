// The X11 global shortcut on the real X server of scripts/with-desktop; matches() needs none.
#include "x11desktop.h"
#include "x11globalshortcut.h"

#include <QKeyEvent>
#include <QSignalSpy>

#include <algorithm>
#include <vector>

using X11Desktop::xdotool;

namespace {

constexpr quint16 alt = XCB_MOD_MASK_1;
constexpr quint16 numLock = XCB_MOD_MASK_2;
const QKeyCombination altSpace(Qt::AltModifier | Qt::Key_Space);
const QKeyCombination ctrlAltK(Qt::ControlModifier | Qt::AltModifier | Qt::Key_K);

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

// Stock openbox binds its window menu to Alt+Space (tst_x11globalshortcut_taken).
const bool windowManagerHoldsAltSpace =
    qEnvironmentVariableIsSet("QUENZAL_DESKTOP_DEFAULT_OPENBOX");

// Moves the space bar's keysym to an unused key code, as a keyboard of another make would have
// it, on a connection of its own; puts it back when destroyed.
class Remap
{
public:
    Remap()
    {
        const xcb_setup_t *setup = xcb_get_setup(m_x);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        const auto map = std::unique_ptr<xcb_get_keyboard_mapping_reply_t, decltype(&std::free)>(
            xcb_get_keyboard_mapping_reply(
                m_x, xcb_get_keyboard_mapping(m_x, setup->min_keycode, count), nullptr),
            &std::free);
        m_perKey = map ? map->keysyms_per_keycode : 0;
        for (int i = count - 1; map && i >= 0; --i) {
            const xcb_keysym_t *first = xcb_get_keyboard_mapping_keysyms(map.get()) + i * m_perKey;
            if (std::all_of(first, first + m_perKey, [](xcb_keysym_t k) { return k == 0; })) {
                m_spare = xcb_keycode_t(setup->min_keycode + i);
            }
            if (first[0] == ' ' && m_space == 0) {
                m_space = xcb_keycode_t(setup->min_keycode + i);
            }
        }
        if (moved()) {
            set(m_space, 0);
            set(m_spare, ' ');
        }
    }
    ~Remap()
    {
        if (moved()) {
            set(m_spare, 0);
            set(m_space, ' ');
            // Restored before the next test asks another connection for the keyboard map.
            std::free(xcb_get_input_focus_reply(m_x, xcb_get_input_focus(m_x), nullptr));
        }
        xcb_disconnect(m_x);
    }
    bool moved() const { return m_spare != 0 && m_space != 0; }

private:
    void set(xcb_keycode_t keycode, xcb_keysym_t keysym)
    {
        std::vector<xcb_keysym_t> keysyms(size_t(m_perKey), 0);
        keysyms[0] = keysym;
        xcb_change_keyboard_mapping(m_x, 1, keycode, uint8_t(m_perKey), keysyms.data());
        xcb_flush(m_x);
    }

    xcb_connection_t *m_x = xcb_connect(nullptr, nullptr);
    xcb_keycode_t m_space = 0;
    xcb_keycode_t m_spare = 0;
    int m_perKey = 0;
};

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
        if (windowManagerHoldsAltSpace && QTest::currentTestFunction() != QByteArray("taken")) {
            QSKIP("needs a desktop whose window manager leaves Alt+Space alone");
        }
        if (!m_window) {
            m_window = std::make_unique<X11Desktop::TypingWindow>(QRect(50, 50, 300, 80));
            m_window->installEventFilter(&m_keys);
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
        QTest::newRow("replaced") << QList{altSpace, ctrlAltK} << false
                                  << QStringList{"key", "ctrl+alt+k"} << 1;
    }
    void keys()
    {
        QFETCH(QList<QKeyCombination>, shortcuts);
        QFETCH(bool, numLock);
        QFETCH(QStringList, keys);
        QFETCH(int, activations);
        QSignalSpy registered(m_shortcut.get(), &GlobalShortcut::registered);
        QSignalSpy failed(m_shortcut.get(), &GlobalShortcut::failed);
        QSignalSpy activated(m_shortcut.get(), &GlobalShortcut::activated);
        for (const QKeyCombination shortcut : shortcuts) {
            m_shortcut->setShortcut(shortcut);
        }
        QCOMPARE(registered.count(), shortcuts.size());
        QCOMPARE(failed.count(), 0);
        QVERIFY(m_shortcut->isRegistered());
        m_numLockOn = numLock;
        QVERIFY(!numLock || xdotool({"key", "Num_Lock"}));
        QVERIFY(xdotool(keys));
        m_window->typeMarker(QStringLiteral("1"));
        QCOMPARE(activated.count(), activations);
        QCOMPARE(m_keys.keys.contains(Qt::Key_Space), activations == 0);
        QVERIFY(activations == 0 || m_window->text() == QStringLiteral("1"));
    }

    // A new layout or keyboard moves the key that types the combination: the grab follows it.
    void keyboardMapChange()
    {
        QSignalSpy activated(m_shortcut.get(), &GlobalShortcut::activated);
        m_shortcut->setShortcut(altSpace);
        QVERIFY(m_shortcut->isRegistered());
        const Remap remap;
        QVERIFY(remap.moved());
        QTRY_VERIFY_WITH_TIMEOUT(
            xdotool({"keydown", "alt", "keydown", "space", "keyup", "space", "keyup", "alt"}) &&
                activated.count() > 0,
            10'000);
    }

    // By another client, or by the window manager.
    void taken()
    {
        std::optional<X11Desktop::Display> other(std::in_place);
        // Only the plain combination: ours with NumLock is granted, and must be given back.
        QVERIFY(windowManagerHoldsAltSpace || other->grabKey(' ', alt));
        QSignalSpy registered(m_shortcut.get(), &GlobalShortcut::registered);
        QSignalSpy failed(m_shortcut.get(), &GlobalShortcut::failed);
        m_shortcut->setShortcut(altSpace);
        QCOMPARE(registered.count(), 0);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().at(0).toString(),
                 QStringLiteral("Alt+Space is already taken by another program"));
        QCOMPARE(failed.first().at(1).value<GlobalShortcut::Failure>(),
                 GlobalShortcut::Failure::taken);
        QVERIFY(!m_shortcut->isRegistered());
        if (windowManagerHoldsAltSpace) {
            return;
        }
        // Let go by a request on another connection: it may reach the server after ours.
        QTRY_VERIFY_WITH_TIMEOUT(other->grabKey(' ', alt | numLock), 10'000);
        other.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!m_x.grabbed(' ', alt), 10'000);
        m_shortcut->setShortcut(altSpace);
        QCOMPARE(registered.count(), 1);
        QVERIFY(m_shortcut->isRegistered());

        // Replaced, and then given back, every grab is released.
        m_shortcut->setShortcut(ctrlAltK);
        QTRY_VERIFY_WITH_TIMEOUT(!m_x.grabbed(' ', alt) && !m_x.grabbed(' ', alt | numLock),
                                 10'000);
        m_shortcut->setShortcut(QKeyCombination::fromCombined(0));
        QTRY_VERIFY_WITH_TIMEOUT(!m_x.grabbed('k', XCB_MOD_MASK_CONTROL | alt), 10'000);
        QCOMPARE(failed.count(), 1);
    }

private:
    X11Desktop::Display m_x;
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
