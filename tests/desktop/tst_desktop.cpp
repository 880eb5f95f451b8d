// The real program on Xvfb, openbox and trayer, driven with xdotool; DeepSeek is behind http_proxy.
#include "testhome.h"
#include "testhttpserver.h"
#include "x11windows.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QProcess>
#include <QRasterWindow>
#include <QTest>

namespace {

constexpr int patience = 30'000; // ms: longer is a failure, not a busy machine or sanitizers
const QByteArray shortcutTaken = "the global shortcut is not available";
const bool stockOpenbox = qEnvironmentVariableIsSet("QUENZAL_DESKTOP_DEFAULT_OPENBOX");

bool xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start("xdotool", arguments);
    return process.waitForFinished(patience) && process.exitCode() == 0;
}

// Presses at a fraction of `window`'s size, wherever trayer has just moved it.
bool click(const X11Windows::Window &window, QPointF at, int button = 1, int count = 1)
{
    const QSize size = window.frame.size();
    return xdotool({"mousemove", "--window", QString::number(window.id),
                    QString::number(int(size.width() * at.x())),
                    QString::number(int(size.height() * at.y())), "click", "--repeat",
                    QString::number(count), "--delay", "80", QString::number(button)});
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

    using Window = X11Windows::Window;
    using Kind = X11Windows::Kind;

private slots:
    void initTestCase() { QVERIFY2(m_x.isConnected(), "cannot connect to the X server"); }

    void init()
    {
        m_home.emplace(); // for the program too
        m_server = std::make_unique<TestHttpServer>();
        m_log.clear();
    }

    void cleanup()
    {
        if (m_app) {
            m_app->kill();
            m_app->waitForFinished(); // reads the rest of its output
        }
        if (QTest::currentTestFailed()) {
            qWarning("--- quenzal-e2e wrote:\n%s---", m_log.constData());
        }
        m_app.reset();
    }

    void startsOnceWithOneTrayIcon()
    {
        QVERIFY(start());
        QProcess second;
        second.setProcessEnvironment(appEnvironment());
        second.start(QUENZAL_E2E);
        QVERIFY2(second.waitForFinished(patience), "the second copy kept running");
        QCOMPARE(second.exitCode(), 0);     // a crash's is its signal
        QVERIFY(openPopoverWithShortcut()); // the first copy still runs and answers
        QCOMPARE(windows(Kind::trayIcon).size(), 1);
    }

    // Also run on the stock openbox: the program reports Alt+Space taken once and carries on.
    void trayClickTogglesPopoverUnderTheIcon()
    {
        const std::optional<Window> icon = start();
        QVERIFY(icon);
        // Two presses a few pixels apart are two clicks, never a double click, whatever the timing.
        QVERIFY(click(*icon, {0.25, 0.5}));
        const std::optional<Window> popover = waitForOne(Kind::popover);
        QVERIFY2(popover, "a click on the tray icon did not show the popover");
        const QRect &frame = popover->frame;
        const QRect &iconFrame = windows(Kind::trayIcon).value(0).frame;
        QVERIFY2(frame.left() <= iconFrame.center().x() && iconFrame.center().x() <= frame.right(),
                 "the popover is not around the icon horizontally");
        QVERIFY2(frame.top() > iconFrame.bottom() && frame.top() <= iconFrame.bottom() + 8,
                 "the popover's top is not just below the icon");
        QVERIFY2(m_x.screen().contains(frame), "the popover reaches beyond the screen");
        QCOMPARE(m_log.count(shortcutTaken), stockOpenbox ? 1 : 0);
        QVERIFY(click(*icon, {0.75, 0.5}));
        QVERIFY2(waitUntilGone(Kind::popover), "a second click on the tray icon left it open");
    }

    // Alt+Space while open closes it in translatesTypedText.
    void popoverCloses_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QPointF>("where"); // on the other window, or below it on the desktop
        QTest::newRow("left press, another window") << 1 << QPointF(0.5, 0.5);
        QTest::newRow("right press, bare desktop") << 3 << QPointF(0.5, 1.5);
    }
    void popoverCloses()
    {
        QFETCH(int, button);
        QFETCH(QPointF, where);
        QVERIFY(start());
        QRasterWindow other; // another program's
        other.setGeometry(60, 600, 320, 240);
        other.show();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QVERIFY(openPopoverWithShortcut());
        QVERIFY(click({xcb_window_t(other.winId()), other.geometry()}, where, button));
        QVERIFY2(waitUntilGone(Kind::popover), "the popover stayed open");
    }

    void contextMenu_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QByteArray>("outcome"); // what is posted, "quit", or empty: nothing
        // Nothing is selected at first: Down goes to the first entry, Up to the last.
        QTest::newRow("Open") << QStringList{"Down"} << QByteArray();
        QTest::newRow("About") << QStringList{"Down", "Down"} << QByteArray("showAbout");
        QTest::newRow("Report a Problem")
            << QStringList{"Down", "Down", "Down"} << QByteArray("showReport");
        QTest::newRow("Settings") << QStringList{"Up", "Up"} << QByteArray("showSettings");
        QTest::newRow("Quit") << QStringList{"Up"} << QByteArray("quit");
    }
    void contextMenu()
    {
        QFETCH(QStringList, keys);
        QFETCH(QByteArray, outcome);
        const std::optional<Window> icon = start();
        QVERIFY(icon);
        QVERIFY(click(*icon, {0.5, 0.5}, 3));
        QVERIFY2(waitForOne(Kind::menu), "a right click on the tray icon showed no menu");
        QVERIFY(windows(Kind::popover).isEmpty());
        // The menu takes the keyboard once it is up; keys sent before would go elsewhere.
        QVERIFY2(QTest::qWaitFor([this] { return m_x.keyboardGrabbed(); }, patience),
                 "the menu never took the keyboard");
        QVERIFY(xdotool(QStringList{"key"} + keys + QStringList{"Return"}));
        if (outcome == "quit") {
            QVERIFY2(m_app->waitForFinished(patience), "Quit did not end the program");
            QCOMPARE(m_app->exitCode(), 0);
            return;
        }
        QVERIFY2(waitForOne(Kind::popover), "the entry did not show the popover");
        QVERIFY(waitUntilGone(Kind::menu));
        QTRY_COMPARE_WITH_TIMEOUT(m_log.count("posting"), outcome.isEmpty() ? 0 : 1, patience);
        QVERIFY(outcome.isEmpty() || m_log.contains("quenzal.shell: posting \"" + outcome + '"'));
    }

    // Alt+Space closes and reopens it between two halves: it must type nothing and keep the text.
    void translatesTypedText()
    {
        const QString source = QStringLiteral("Good morning, how are you today?");
        const QString answer = QStringLiteral("Guten Morgen, wie geht es dir heute?");
        const auto sentWith = [this](const QString &text) {
            return std::count_if(
                m_server->requests().cbegin(), m_server->requests().cend(),
                [&](const auto &request) {
                    const QJsonDocument body = QJsonDocument::fromJson(request.body);
                    return body["messages"][1]["content"].toString().contains(text);
                });
        };
        QVERIFY(start());
        QVERIFY(openPopoverWithShortcut());
        QVERIFY(xdotool({"type", "--delay", "20", source.left(22)}));
        QVERIFY2(QTest::qWaitFor([&] { return sentWith("how are") > 0; }, patience),
                 "the first half was not translated");
        m_server->setDefaultReply({.body = TestHttpServer::completion(answer)});
        QVERIFY(xdotool({"key", "alt+space"}));
        QVERIFY(waitUntilGone(Kind::popover));
        const std::optional<Window> popover = openPopoverWithShortcut();
        QVERIFY(popover);
        QVERIFY(xdotool({"type", "--delay", "20", source.mid(22)}));
        QVERIFY2(QTest::qWaitFor([&] { return sentWith(source) > 0; }, patience),
                 "no request with the whole text");
        QCOMPARE(m_server->requests().last().target, "http://deepseek.test/chat/completions");

        // Three presses into the translation select its line, again until it holds the answer.
        QClipboard *clipboard = QGuiApplication::clipboard();
        const auto selected = [&] { return clipboard->text(QClipboard::Selection) == answer; };
        const auto select = [&] { return click(*popover, {0.6, 0.19}, 1, 3); };
        QVERIFY2(
            QTest::qWaitFor([&] { return select() && QTest::qWaitFor(selected, 500); }, patience),
            "the translation area never showed the answer");
        QCOMPARE(windows(Kind::popover).size(), 1);
        QCOMPARE(sentWith(source), 1);
    }

private:
    QProcessEnvironment appEnvironment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", m_home->path()); // of mode 0700
        environment.insert("http_proxy", m_server->url(QString()).toString());
        environment.remove("no_proxy");
        environment.remove("NO_PROXY");
        environment.insert("QT_LOGGING_RULES", "quenzal.*.debug=true");
        return environment;
    }

    // Waits for the icon, then for Alt+Space (set up last) to be held or reported taken: a press
    // before could go to whatever has the keyboard, or find no popover built.
    std::optional<Window> start()
    {
        m_app = std::make_unique<QProcess>();
        m_app->setProcessEnvironment(appEnvironment());
        connect(m_app.get(), &QProcess::readyReadStandardError, this,
                [this] { m_log += m_app->readAllStandardError(); });
        m_app->start(QUENZAL_E2E);
        const auto settled = [this] {
            return stockOpenbox ? m_log.contains(shortcutTaken)
                                : m_x.keyGrabbed(' ', XCB_MOD_MASK_1);
        };
        const std::optional<Window> icon =
            m_app->waitForStarted(patience) ? waitForOne(Kind::trayIcon) : std::nullopt;
        if (!icon || !QTest::qWaitFor(settled, patience)) {
            qWarning("the program put no icon in the tray, or left Alt+Space unsettled");
            return std::nullopt;
        }
        return icon;
    }

    QList<Window> windows(Kind kind) const
    {
        return m_app && m_app->state() == QProcess::Running ? m_x.mapped(m_app->processId(), kind)
                                                            : QList<Window>();
    }

    // Trayer maps a new icon partly off the screen, then moves it: it counts once all on it.
    std::optional<Window> waitForOne(Kind kind) const
    {
        QList<Window> found;
        const auto settled = [&] {
            found = windows(kind);
            return !found.isEmpty() &&
                   (kind != Kind::trayIcon || m_x.screen().contains(found.first().frame));
        };
        if (!QTest::qWaitFor(settled, patience) || found.size() != 1) {
            return std::nullopt;
        }
        return found.first();
    }

    bool waitUntilGone(Kind kind) const
    {
        return QTest::qWaitFor([&] { return windows(kind).isEmpty(); }, patience);
    }

    // Waits until the popover has the keyboard, so that keys typed next reach it.
    std::optional<Window> openPopoverWithShortcut() const
    {
        const std::optional<Window> popover =
            xdotool({"key", "alt+space"}) ? waitForOne(Kind::popover) : std::nullopt;
        if (!popover || !QTest::qWaitFor([&] { return m_x.hasFocus(popover->id); }, patience)) {
            qWarning("Alt+Space did not bring up a focused popover");
            return std::nullopt;
        }
        return popover;
    }

    X11Windows m_x;
    std::optional<TestHome> m_home;
    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<QProcess> m_app;
    QByteArray m_log; // what the program wrote on standard error
};

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QUENZAL_TEST_DESKTOP") ||
        qEnvironmentVariableIsEmpty("DISPLAY")) {
        qFatal("tst_desktop runs on scripts/with-desktop's desktop (ctest), never the user's own");
    }
    qputenv("QT_QPA_PLATFORM", "xcb"); // for the program too
    qputenv("QT_FORCE_STDERR_LOGGING", "1");
    QGuiApplication app(argc, argv);
    TestDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktop.moc"
