// The X11 global shortcut on the real X server of scripts/with-desktop; matches() needs none.
#include "x11desktop.h"
#include "x11globalshortcut.h"

#include <QKeyEvent>
#include <QSignalSpy>

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
