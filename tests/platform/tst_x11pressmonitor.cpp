// Presses anywhere on a real X desktop, through XInput 2 raw events. Runs under
// scripts/with-desktop.
#include "x11pressmonitor.h"

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>

namespace {

// Only the desktop scripts/with-desktop starts is ours to click on: with no promise of one, the
// display found may well be the user's own.
bool desktopExpected()
{
    return qEnvironmentVariableIsSet("QUENZAL_TEST_DESKTOP");
}

bool onOwnDesktop()
{
    return desktopExpected() && !qEnvironmentVariableIsEmpty("DISPLAY");
}

// Runs xdotool to its end; its input goes through XTEST, like a real mouse's.
bool xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished() && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

bool click(const QPoint &position, int button)
{
    return xdotool({"mousemove", QString::number(position.x()), QString::number(position.y()),
                    "click", QString::number(button)});
}

} // namespace

class TestX11PressMonitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void buttons_data();
    void buttons();
    void nothingAfterStop();

private:
    // Waits until the focused line edit has been given `key`, typed as a marker after the
    // clicks under test: X delivers in order, so by then those have been dealt with.
    void typeMarker(const QString &key);

    std::unique_ptr<QWidget> m_window;
    QLineEdit *m_edit = nullptr;
    std::unique_ptr<X11PressMonitor> m_monitor;
};

void TestX11PressMonitor::initTestCase()
{
    if (!onOwnDesktop()) {
        if (desktopExpected()) {
            QFAIL("QUENZAL_TEST_DESKTOP is set but there is no DISPLAY: run under "
                  "scripts/with-desktop");
        }
        QSKIP("needs an X desktop of its own: run under scripts/with-desktop");
    }
    m_window = std::make_unique<QWidget>();
    m_window->setWindowTitle(QStringLiteral("tst_x11pressmonitor"));
    m_edit = new QLineEdit(m_window.get());
    auto *layout = new QVBoxLayout(m_window.get());
    layout->addWidget(m_edit);
    m_window->setGeometry(700, 500, 300, 80);
    m_window->show();
}

void TestX11PressMonitor::init()
{
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_edit->setFocus();
    m_edit->clear();
    m_monitor = std::make_unique<X11PressMonitor>();
}

void TestX11PressMonitor::cleanup()
{
    m_monitor.reset();
}

void TestX11PressMonitor::buttons_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QPoint>("position");
    QTest::addColumn<bool>("reported");

    QTest::newRow("left") << 1 << QPoint(100, 200) << true;
    QTest::newRow("middle") << 2 << QPoint(320, 240) << false;
    QTest::newRow("wheel") << 4 << QPoint(320, 240) << false;
    QTest::newRow("left, in our own window") << 1 << QPoint(0, 0) << true;
}

void TestX11PressMonitor::buttons()
{
    QFETCH(int, button);
    QFETCH(QPoint, position);
    QFETCH(bool, reported);

    if (position.isNull()) {
        position = m_edit->mapToGlobal(m_edit->rect().center());
    }
    QSignalSpy pressed(m_monitor.get(), &PressMonitor::pressed);
    QVERIFY(m_monitor->start());
    QVERIFY(m_monitor->isActive());
    // The position is the pointer's when the press is read, so each click is awaited before
    // the pointer moves on.
    QVERIFY(click(position, button));
    if (reported) {
        QVERIFY(pressed.wait());
        QCOMPARE(pressed.takeFirst().at(0).toPoint(), position);
    }
    // A left click after it, elsewhere: presses come in order, so once this one is in, the
    // first has been dealt with.
    const QPoint after(50, 900);
    QVERIFY(click(after, 1));
    QVERIFY(pressed.wait());
    QCOMPARE(pressed.count(), 1);
    QCOMPARE(pressed.first().at(0).toPoint(), after);
}

void TestX11PressMonitor::nothingAfterStop()
{
    QSignalSpy pressed(m_monitor.get(), &PressMonitor::pressed);
    QVERIFY(m_monitor->start());
    // Sent before stop(), not yet read when it comes.
    QVERIFY(click({100, 200}, 1));
    m_monitor->stop();
    QVERIFY(!m_monitor->isActive());
    QVERIFY(click({200, 300}, 3));
    typeMarker(QStringLiteral("1"));
    QCOMPARE(pressed.count(), 0);

    // And it starts again.
    QVERIFY(m_monitor->start());
    QVERIFY(click({300, 400}, 1));
    QVERIFY(pressed.wait());
    QCOMPARE(pressed.count(), 1);
    QCOMPARE(pressed.first().at(0).toPoint(), QPoint(300, 400));
}

void TestX11PressMonitor::typeMarker(const QString &key)
{
    QSignalSpy typed(m_edit, &QLineEdit::textEdited);
    QVERIFY(xdotool({"key", key}));
    QVERIFY(typed.wait());
}

int main(int argc, char **argv)
{
    // Elsewhere the tests skip, or fail when a desktop was promised.
    if (!onOwnDesktop()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    TestX11PressMonitor test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_x11pressmonitor.moc"
