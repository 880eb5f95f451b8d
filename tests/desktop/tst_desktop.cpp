// Quenzal as a user meets it: the real program on an X server with openbox and trayer, driven
// through XTEST (xdotool), DeepSeek replaced by a local server reached through http_proxy. The
// windows are looked up from outside, on a connection of our own, as the desktop sees them.
#include "testhome.h"
#include "testhttpserver.h"
#include "x11windows.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QProcess>
#include <QRasterWindow>
#include <QScreen>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

// ms; any wait longer than this is a failure, not a slow run, also for the sanitizers' build on a
// busy machine.
constexpr int patience = 30'000;
const QByteArray shortcutTaken = "the global shortcut is not available";

// xdotool's input goes through XTEST, and so through every grab, like a real keyboard's.
bool xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished(patience) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

bool pressAltSpace()
{
    return xdotool({"key", "alt+space"});
}

// Presses at `at`: root coordinates or, given a window, the window's own, placed by xdotool at
// that moment (trayer moves its icons whenever its panel grows or shrinks).
bool click(QPoint at, int button = 1, int count = 1, xcb_window_t window = XCB_WINDOW_NONE)
{
    QStringList move{"mousemove"};
    if (window != XCB_WINDOW_NONE) {
        move << "--window" << QString::number(window);
    }
    return xdotool(move + QStringList{QString::number(at.x()), QString::number(at.y()), "click",
                                      "--repeat", QString::number(count), "--delay", "80",
                                      QString::number(button)});
}

// Presses at a fraction of the window's width and height.
bool clickInside(const X11Windows::Window &window, qreal x, qreal y, int button = 1, int count = 1)
{
    const QSize size = window.frame.size();
    return click(QPoint(int(size.width() * x), int(size.height() * y)), button, count, window.id);
}

bool typeText(const QString &text)
{
    return xdotool({"type", "--delay", "20", text});
}

QString userContent(const TestHttpServer::Request &request)
{
    return QJsonDocument::fromJson(request.body)["messages"][1]["content"].toString();
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
        QVERIFY(QDir(m_home->path())
                    .mkdir("runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        m_server = std::make_unique<TestHttpServer>();
        m_log.clear();
    }

    void cleanup()
    {
        if (m_app) {
            m_app->kill();
            m_app->waitForFinished();
            if (QTest::currentTestFailed()) {
                std::fprintf(stderr, "--- quenzal-e2e wrote:\n%s---\n",
                             (m_log + m_app->readAllStandardError()).constData());
            }
        }
        m_app.reset();
        m_other.reset();
        m_server.reset();
        m_home.reset();
    }

    void startsOnceWithOneTrayIcon()
    {
        QVERIFY(start());
        QTRY_VERIFY_WITH_TIMEOUT(
            m_log.contains("quenzal.shell: tray icon shown: \"Parlora - Quenzal\""), patience);

        QProcess second;
        second.setProcessEnvironment(appEnvironment());
        second.start(QStringLiteral(QUENZAL_E2E));
        QVERIFY2(second.waitForFinished(patience), "the second copy kept running");
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);

        QVERIFY(openPopoverWithShortcut()); // the first copy still runs and answers
        QCOMPARE(windows(Kind::trayIcon).size(), 1);
    }

    // Also run on openbox's stock configuration, which holds Alt+Space: the program says so once
    // and carries on. That openbox also holds every press on a window until it has raised it.
    void trayClickTogglesPopoverUnderTheIcon()
    {
        const std::optional<Window> icon = start();
        QVERIFY(icon);
        // Two presses on one spot in quick succession would make a double click, which toggles
        // nothing; a few pixels apart they are two clicks whatever the timing.
        QVERIFY(clickInside(*icon, 0.25, 0.5));
        const std::optional<Window> popover = waitForOne(Kind::popover);
        QVERIFY2(popover, "a click on the tray icon did not show the popover");

        const QList<Window> icons = windows(Kind::trayIcon);
        QCOMPARE(icons.size(), 1);
        const QRect &frame = popover->frame;
        const QRect &iconFrame = icons.first().frame;
        QVERIFY2(frame.left() <= iconFrame.center().x() && iconFrame.center().x() <= frame.right(),
                 "the popover is not around the icon horizontally");
        QVERIFY2(frame.top() > iconFrame.bottom() && frame.top() <= iconFrame.bottom() + 8,
                 "the popover's top is not just below the icon");
        QVERIFY2(m_x.screen().contains(frame), "the popover reaches beyond the screen");
        QCOMPARE(m_log.count(shortcutTaken), stockOpenbox() ? 1 : 0);

        QVERIFY(clickInside(*icon, 0.75, 0.5));
        QVERIFY2(waitUntilGone(Kind::popover),
                 "a second click on the tray icon left the popover open (or closed it as a "
                 "press outside and opened it again)");
    }

    void popoverCloses_data()
    {
        QTest::addColumn<bool>("keyboardElsewhere"); // another program activated first
        QTest::addColumn<int>("button");             // 0: Alt+Space, else a press outside
        QTest::addColumn<bool>("onOtherWindow");     // the press's place, else the bare desktop
        QTest::newRow("Alt+Space") << false << 0 << false;
        QTest::newRow("Alt+Space, keyboard elsewhere") << true << 0 << false;
        QTest::newRow("left press, another window") << false << 1 << true;
        QTest::newRow("right press, another window") << false << 3 << true;
        QTest::newRow("left press, bare desktop") << false << 1 << false;
    }
    void popoverCloses()
    {
        QFETCH(bool, keyboardElsewhere);
        QFETCH(int, button);
        QFETCH(bool, onOtherWindow);
        QVERIFY(start());
        QVERIFY(showOtherWindow());
        const std::optional<Window> popover = openPopoverWithShortcut();
        QVERIFY(popover);
        if (keyboardElsewhere) {
            m_other->requestActivate();
            QVERIFY(QTest::qWaitForWindowActive(m_other.get()));
            QCOMPARE(windows(Kind::popover).size(), 1); // losing the keyboard closes nothing
        }
        if (button == 0) {
            QVERIFY(pressAltSpace());
        } else {
            const QPoint at = onOtherWindow ? m_other->geometry().center()
                                            : QPoint(40, m_x.screen().bottom() - 100);
            QVERIFY(!popover->frame.contains(at));
            QVERIFY(click(at, button));
        }
        QVERIFY2(waitUntilGone(Kind::popover), "the popover stayed open");
    }

    void contextMenu_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QByteArray>("posted"); // empty: nothing
        QTest::addColumn<bool>("quits");
        // Nothing is selected at first: Down goes to the first entry, Up to the last.
        QTest::newRow("Open") << QStringList{"Down"} << QByteArray() << false;
        QTest::newRow("About") << QStringList{"Down", "Down"} << QByteArray("showAbout") << false;
        QTest::newRow("Report a Problem")
            << QStringList{"Down", "Down", "Down"} << QByteArray("showReport") << false;
        QTest::newRow("Settings") << QStringList{"Up", "Up"} << QByteArray("showSettings") << false;
        QTest::newRow("Quit") << QStringList{"Up"} << QByteArray() << true;
    }
    void contextMenu()
    {
        QFETCH(QStringList, keys);
        QFETCH(QByteArray, posted);
        QFETCH(bool, quits);
        const std::optional<Window> icon = start();
        QVERIFY(icon);
        QVERIFY(clickInside(*icon, 0.5, 0.5, 3));
        QVERIFY2(waitForOne(Kind::menu), "a right click on the tray icon showed no menu");
        QVERIFY(windows(Kind::popover).isEmpty());
        // The menu takes the keyboard once it is up; keys sent before would go elsewhere.
        QVERIFY2(QTest::qWaitFor([this] { return m_x.keyboardGrabbed(); }, patience),
                 "the menu never took the keyboard");
        QVERIFY(xdotool(QStringList{"key"} + keys + QStringList{"Return"}));

        if (quits) {
            QVERIFY2(m_app->waitForFinished(patience), "Quit did not end the program");
            QCOMPARE(m_app->exitStatus(), QProcess::NormalExit);
            QCOMPARE(m_app->exitCode(), 0);
            return;
        }
        QVERIFY2(waitForOne(Kind::popover), "the entry did not show the popover");
        QVERIFY(waitUntilGone(Kind::menu));
        if (!posted.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(m_log.contains("quenzal.shell: posting \"" + posted + '"'),
                                     patience);
        }
        QCOMPARE(m_log.count("posting"), posted.isEmpty() ? 0 : 1);
    }

    // Typed in two halves around a close and a reopen with Alt+Space, which must type nothing
    // into the editor and keep what is there. Presses inside leave the popover open.
    void translatesTypedText()
    {
        const QString source = QStringLiteral("Good morning, how are you today?");
        const QString answer = QStringLiteral("Guten Morgen, wie geht es dir heute?");
        m_server->setDefaultReply({.body = TestHttpServer::completion("Guten Morgen, wie")});
        const auto sentWith = [this](const QString &text) {
            const QList<TestHttpServer::Request> &sent = m_server->requests();
            return std::count_if(sent.cbegin(), sent.cend(), [&](const auto &request) {
                return userContent(request).contains(text);
            });
        };
        QVERIFY(start());
        QVERIFY(openPopoverWithShortcut());
        QVERIFY(typeText(source.left(22)));
        QVERIFY2(QTest::qWaitFor([&] { return sentWith("how are") > 0; }, patience),
                 "the first half was not translated");
        m_server->setDefaultReply({.body = TestHttpServer::completion(answer)});
        QVERIFY(pressAltSpace());
        QVERIFY(waitUntilGone(Kind::popover));
        const std::optional<Window> popover = openPopoverWithShortcut();
        QVERIFY(popover);
        QVERIFY(typeText(source.mid(22)));
        QVERIFY2(QTest::qWaitFor([&] { return sentWith(source) > 0; }, patience),
                 qPrintable("no request with the whole text; the last one held \"" +
                            userContent(m_server->requests().last()) + '"'));
        QCOMPARE(m_server->requests().last().target, "http://deepseek.test/chat/completions");

        // Three presses into the translation (the right half) select the line shown there; the
        // answer may still be on its way, so the line is selected again until it holds it.
        // Reading the selection is a round trip through the program's event loop.
        QClipboard *clipboard = QGuiApplication::clipboard();
        const auto selected = [&] { return clipboard->text(QClipboard::Selection) == answer; };
        const bool shown = QTest::qWaitFor(
            [&] {
                return clickInside(*popover, 0.6, 0.19, 1, 3) && QTest::qWaitFor(selected, 500);
            },
            patience);
        QVERIFY2(shown, qPrintable("the translation area shows \"" +
                                   clipboard->text(QClipboard::Selection) + '"'));
        QCOMPARE(windows(Kind::popover).size(), 1);
        QCOMPARE(sentWith(source), 1);
        saveScreenshot(popover->frame);
    }

private:
    static bool stockOpenbox()
    {
        return qEnvironmentVariableIsSet("QUENZAL_DESKTOP_DEFAULT_OPENBOX");
    }

    QProcessEnvironment appEnvironment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", m_home->path() + "/runtime");
        environment.insert("http_proxy", m_server->url(QString()).toString());
        environment.remove("no_proxy");
        environment.remove("NO_PROXY");
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("QT_FORCE_STDERR_LOGGING", "1");
        environment.insert("QT_LOGGING_RULES", "quenzal.*.debug=true");
        return environment;
    }

    // Starts the program and waits for its icon in the tray and then for Alt+Space, the last
    // thing it sets up, to be settled: held by the program or, on the stock openbox, reported
    // taken. Until then a press could go to whatever has the keyboard, or find no popover built.
    std::optional<Window> start()
    {
        m_app = std::make_unique<QProcess>();
        m_app->setProcessEnvironment(appEnvironment());
        connect(m_app.get(), &QProcess::readyReadStandardError, this,
                [this] { m_log += m_app->readAllStandardError(); });
        m_app->start(QStringLiteral(QUENZAL_E2E));
        const auto settled = [this] {
            return stockOpenbox() ? m_log.contains(shortcutTaken)
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

    // Trayer maps a new icon where its panel ends, partly off the screen, and only then widens
    // the panel and moves it left: an icon counts once it is all on the screen.
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

    // Opens the popover and waits until it has the keyboard, so that keys typed next reach it.
    std::optional<Window> openPopoverWithShortcut() const
    {
        const std::optional<Window> popover =
            pressAltSpace() ? waitForOne(Kind::popover) : std::nullopt;
        if (!popover || !QTest::qWaitFor([&] { return m_x.hasFocus(popover->id); }, patience)) {
            qWarning("Alt+Space did not bring up a focused popover");
            return std::nullopt;
        }
        return popover;
    }

    bool showOtherWindow()
    {
        m_other = std::make_unique<QRasterWindow>();
        m_other->setTitle(QStringLiteral("another program"));
        m_other->setGeometry(60, 600, 320, 240);
        m_other->show();
        return QTest::qWaitForWindowActive(m_other.get());
    }

    // Left for whoever looks at a run (README).
    static void saveScreenshot(const QRect &frame)
    {
        const QString folder = QStringLiteral(QUENZAL_SCREENSHOTS);
        if (!QDir().mkpath(folder) ||
            !QGuiApplication::primaryScreen()
                 ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                 .save(folder + "/popover.png")) {
            qWarning("could not save the screenshot in %s", qPrintable(folder));
        }
    }

    X11Windows m_x;
    std::optional<TestHome> m_home;
    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<QProcess> m_app;
    QByteArray m_log; // what the program wrote on standard error
    std::unique_ptr<QRasterWindow> m_other;
};

int main(int argc, char *argv[])
{
    // Anywhere else it would drive the user's own desktop.
    if (!qEnvironmentVariableIsSet("QUENZAL_TEST_DESKTOP") ||
        qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fputs("FAIL!  : tst_desktop runs on scripts/with-desktop's desktop (ctest)\n", stderr);
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    TestDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktop.moc"
