// The X11 global shortcut on the real X server of scripts/with-desktop; matches() needs none.
#include "x11desktop.h"
#include "x11globalshortcut.h"

#include <QKeyEvent>
#include <QProcess>
#include <QSignalSpy>

using X11Desktop::xdotool;
using namespace Qt::StringLiterals;

namespace {

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

// Stock openbox binds its window menu to Alt+Space (tst_x11globalshortcut_taken).
const bool windowManagerHoldsAltSpace =
    qEnvironmentVariableIsSet("QUENZAL_DESKTOP_DEFAULT_OPENBOX");

// Moves the space bar's keysym to an unused key code, as a keyboard of another make would have
// it; puts it back when destroyed. xmodmap has carried a change out when it exits.
class Remap
{
public:
    Remap()
    {
        QProcess table;
        table.start("xmodmap", {"-pke"});
        table.waitForFinished();
        for (const QByteArray &line : table.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> words = line.simplified().split(' '); // keycode 65 = space ...
            const int keycode = words.value(1).toInt();
            if (words.size() == 3) {
                m_spare = m_spare ? m_spare : keycode;
            } else if (words.value(3) == "space" && !m_space) {
                m_space = keycode;
            }
        }
        m_moved = m_spare && m_space && map(m_space, "") && map(m_spare, "space");
    }
    ~Remap()
    {
        if (m_moved) {
            map(m_spare, "");
            map(m_space, "space");
        }
    }
    bool moved() const { return m_moved; }

private:
    static bool map(int keycode, const char *keysym)
    {
        return QProcess::execute("xmodmap",
                                 {"-e", u"keycode %1 = %2"_s.arg(keycode).arg(keysym)}) == 0;
    }

    int m_space = 0;
    int m_spare = 0;
    bool m_moved = false;
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

    // With NumLock on, Alt+Space is still ours; Alt+Shift+Space is not: its space goes on.
    void keys_data()
    {
        QTest::addColumn<bool>("numLock");
        QTest::addColumn<QStringList>("keys"); // for xdotool
        QTest::addColumn<bool>("ours");        // else the space goes to the focused window
        // Space let go before Alt, so that its release still carries the combination.
        QTest::newRow("num lock on")
            << true
            << QStringList{"keydown", "alt", "keydown", "space", "keyup", "space", "keyup", "alt"}
            << true;
        QTest::newRow("alt+shift+space") << false << QStringList{"key", "alt+shift+space"} << false;
    }
    void keys()
    {
        QFETCH(bool, numLock);
        QFETCH(QStringList, keys);
        QFETCH(bool, ours);
        QSignalSpy registered(m_shortcut.get(), &GlobalShortcut::registered);
        QSignalSpy activated(m_shortcut.get(), &GlobalShortcut::activated);
        m_shortcut->setShortcut(altSpace);
        QCOMPARE(registered.count(), 1);
        QVERIFY(m_shortcut->isRegistered());
        m_numLockOn = numLock;
        QVERIFY(!numLock || xdotool({"key", "Num_Lock"}));
        QVERIFY(xdotool(keys));
        m_window->typeMarker(QStringLiteral("1"));
        QCOMPARE(activated.count(), ours ? 1 : 0);
        QCOMPARE(m_keys.keys.contains(Qt::Key_Space), !ours);
        QVERIFY(!ours || m_window->text() == QStringLiteral("1"));
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
