// Quenzal as a user meets it: the real program on an X server with openbox and trayer, driven
// through XTEST (xdotool), DeepSeek replaced by a local server reached through http_proxy. The
// windows are looked up from outside, on a connection of our own, as the desktop sees them.
#include "testhttpserver.h"
#include "x11windows.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QProcess>
#include <QRasterWindow>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

// ms; any wait longer than this is a failure, not a slow run, also for the sanitizers' build on a
// machine that is busy building something else.
constexpr int patience = 30'000;
const QByteArray shortcutTaken = "the global shortcut is not available";

// Runs xdotool to its end; its input goes through XTEST, and so through every grab, like a real
// keyboard's and mouse's.
bool xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished() && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

bool click(QPoint at, int button = 1, int count = 1)
{
    return xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click",
                    "--repeat", QString::number(count), "--delay", "80", QString::number(button)});
}

bool typeText(const QString &text)
{
    return xdotool({"type", "--delay", "20", text});
}

QPoint relative(const QRect &frame, qreal x, qreal y)
{
    return frame.topLeft() + QPoint(int(frame.width() * x), int(frame.height() * y));
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
        // Openbox's stock configuration holds Alt+Space, and button presses on its windows
        // until it has raised them, as most window managers do: the tray click runs on both.
        const QByteArrayView test(QTest::currentTestFunction());
        const bool stockOnly = test == "shortcutTakenByWindowManager";
        const bool either = test == "trayClickTogglesPopoverUnderTheIcon";
        if (!either && qEnvironmentVariableIsSet("QUENZAL_DESKTOP_DEFAULT_OPENBOX") != stockOnly) {
            QSKIP("needs a window manager that leaves Alt+Space free, or one that holds it; "
                  "ctest runs each test on the right one");
        }
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        for (const char *folder : {"home", "data", "config", "cache", "state"}) {
            QVERIFY(QDir(m_dir->path()).mkdir(folder));
        }
        QVERIFY(QDir(m_dir->path())
                    .mkdir("runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        m_server = std::make_unique<TestHttpServer>();
        m_log.clear();
    }

    void cleanup()
    {
        if (m_app && m_app->state() != QProcess::NotRunning) {
            m_app->kill();
            m_app->waitForFinished();
        }
        if (m_app && QTest::currentTestFailed()) {
            std::fprintf(stderr, "--- quenzal-e2e wrote:\n%s---\n",
                         (m_log + m_app->readAllStandardError()).constData());
        }
        m_app.reset();
        m_other.reset();
        m_server.reset();
        m_dir.reset();
    }

    void startsOnceWithOneTrayIcon()
    {
        QVERIFY2(start(), "no tray icon embedded in trayer's panel");
        QTRY_VERIFY_WITH_TIMEOUT(
            m_log.contains("quenzal.shell: tray icon shown: \"Parlora - Quenzal\""), patience);
        QCOMPARE(windows(Kind::trayIcon).size(), 1);

        QProcess second;
        second.setProcessEnvironment(appEnvironment());
        second.start(QStringLiteral(QUENZAL_E2E));
        QVERIFY2(second.waitForFinished(patience), "the second copy kept running");
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);

        QCOMPARE(m_app->state(), QProcess::Running);
        QVERIFY(openPopoverWithShortcut()); // the first copy still answers
        QCOMPARE(windows(Kind::trayIcon).size(), 1);
    }

    void trayClickTogglesPopoverUnderTheIcon()
    {
        const std::optional<Window> icon = start();
        QVERIFY(icon);
        // Two presses on one spot in quick succession would make a double click, which toggles
        // nothing; a few pixels apart they are two clicks whatever the timing.
        const QPoint offset(icon->frame.width() / 4, 0);
        QVERIFY(click(icon->frame.center() - offset));
        const std::optional<Window> popover = waitForOne(Kind::popover);
        QVERIFY2(popover, "a click on the tray icon did not show the popover");

        const QRect &frame = popover->frame;
        const int iconCentre = icon->frame.center().x();
        QVERIFY2(frame.left() <= iconCentre && iconCentre <= frame.right(),
                 "the popover is not around the icon horizontally");
        QVERIFY2(frame.top() > icon->frame.bottom() && frame.top() <= icon->frame.bottom() + 8,
                 "the popover's top is not just below the icon");
        QVERIFY2(m_x.screen().contains(frame), "the popover reaches beyond the screen");

        QVERIFY(click(icon->frame.center() + offset));
        QVERIFY2(waitUntilGone(Kind::popover),
                 "a second click on the tray icon left the popover open (or closed it as a "
                 "press outside and opened it again)");
    }

    void shortcutTogglesPopoverOverAnotherWindow()
    {
        QVERIFY(start());
        QVERIFY(showOtherWindow());
        QVERIFY(openPopoverWithShortcut());
        QVERIFY(xdotool({"key", "alt+space"}));
        QVERIFY2(waitUntilGone(Kind::popover), "Alt+Space did not close the focused popover");

        // Open, but the keyboard given to another program: Alt+Space still closes it.
        QVERIFY(openPopoverWithShortcut());
        m_other->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(m_other.get()));
        QCOMPARE(windows(Kind::popover).size(), 1);
        QVERIFY(xdotool({"key", "alt+space"}));
        QVERIFY2(waitUntilGone(Kind::popover), "Alt+Space did not close the unfocused popover");
    }

    void pressOutsideClosesPopover_data()
    {
        QTest::addColumn<bool>("onOtherWindow");
        QTest::addColumn<int>("button");
        QTest::newRow("left, another window") << true << 1;
        QTest::newRow("right, another window") << true << 3;
        QTest::newRow("left, bare desktop") << false << 1;
    }
    void pressOutsideClosesPopover()
    {
        QFETCH(bool, onOtherWindow);
        QFETCH(int, button);
        QVERIFY(start());
        QVERIFY(showOtherWindow());
        const std::optional<Window> popover = openPopoverWithShortcut();
        QVERIFY(popover);
        const QPoint at = onOtherWindow ? m_other->geometry().center() : QPoint(40, 980);
        QVERIFY(!popover->frame.contains(at));
        QVERIFY(click(at, button));
        QVERIFY2(waitUntilGone(Kind::popover), "the popover stayed open");
    }

    void shortcutTypesNothingIntoTheEditor()
    {
        QVERIFY(start());
        QVERIFY(openPopoverWithShortcut());
        QVERIFY(typeText("Good morning, how are "));
        QVERIFY(xdotool({"key", "alt+space"}));
        QVERIFY(waitUntilGone(Kind::popover));
        QVERIFY(openPopoverWithShortcut());
        QVERIFY(typeText("you today?"));
        // Whatever went out for the first half meanwhile, the last request holds the whole text.
        const auto complete = [this] {
            return !m_server->requests().isEmpty() &&
                   userContent(m_server->requests().last()).contains("today");
        };
        QVERIFY2(QTest::qWaitFor(complete, patience), "no request with the second half");
        QCOMPARE(userContent(m_server->requests().last()), "Good morning, how are you today?");
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
        QVERIFY(click(icon->frame.center(), 3));
        QVERIFY2(waitForOne(Kind::menu), "a right click on the tray icon showed no menu");
        QVERIFY(windows(Kind::popover).isEmpty());
        // The menu takes the keyboard once it is up; keys sent before would go elsewhere.
        QVERIFY2(QTest::qWaitFor([this] { return m_x.keyboardGrabbed(); }, patience),
                 "the menu never took the keyboard");
        QVERIFY(xdotool(QStringList{"key"} + keys + QStringList{"Return"}));

        if (quits) {
            QVERIFY2(QTest::qWaitFor([this] { return m_app->state() == QProcess::NotRunning; },
                                     patience),
                     "Quit did not end the program");
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

    void translatesTypedText()
    {
        const QString source = QStringLiteral("Good morning, how are you today?");
        const QString answer = QStringLiteral("Guten Morgen, wie geht es dir heute?");
        m_server->setDefaultReply({.body = TestHttpServer::completion(answer)});
        QVERIFY(start());
        const std::optional<Window> popover = openPopoverWithShortcut();
        QVERIFY(popover);
        saveScreenshot(*popover);

        // Presses inside leave the popover open: one into the editor (the left half), then
        // three into the translation beside it, which select the line shown there.
        QVERIFY(click(relative(popover->frame, 0.25, 0.3)));
        QVERIFY(typeText(source));
        QVERIFY2(QTest::qWaitFor([this] { return !m_server->requests().isEmpty(); }, patience),
                 "no translation request reached the server");
        const TestHttpServer::Request request = m_server->requests().last();
        QCOMPARE(request.target, "http://deepseek.test/chat/completions");
        QCOMPARE(userContent(request), source);

        // The answer may still be on its way, so the line is selected again until it holds it.
        // Reading the selection is a round trip through the program's event loop.
        QClipboard *clipboard = QGuiApplication::clipboard();
        const auto selected = [&] { return clipboard->text(QClipboard::Selection) == answer; };
        const bool shown = QTest::qWaitFor(
            [&] {
                return click(relative(popover->frame, 0.6, 0.19), 1, 3) &&
                       QTest::qWaitFor(selected, 500);
            },
            patience);
        QVERIFY2(shown, qPrintable("the translation area shows \"" +
                                   clipboard->text(QClipboard::Selection) + '"'));
        QCOMPARE(windows(Kind::popover).size(), 1);
        QCOMPARE(m_server->requests().size(), 1);
        saveScreenshot(*popover);
    }

    // Run by ctest on a desktop of its own, whose openbox holds Alt+Space.
    void shortcutTakenByWindowManager()
    {
        const std::optional<Window> icon = start();
        QVERIFY(icon);
        QTRY_VERIFY_WITH_TIMEOUT(m_log.contains(shortcutTaken), patience);
        QVERIFY(click(icon->frame.center()));
        QVERIFY2(waitForOne(Kind::popover), "the tray icon no longer opens the popover");
        QCOMPARE(m_log.count(shortcutTaken), 1);
        QCOMPARE(m_app->state(), QProcess::Running);
        QCOMPARE(windows(Kind::trayIcon).size(), 1);
    }

private:
    QProcessEnvironment appEnvironment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        const QString root = m_dir->path();
        environment.insert("HOME", root + "/home");
        for (const char *folder : {"data", "config", "cache", "state"}) {
            environment.insert("XDG_" + QString(folder).toUpper() + "_HOME", root + '/' + folder);
        }
        environment.insert("XDG_RUNTIME_DIR", root + "/runtime");
        environment.insert("http_proxy", m_server->url(QString()).toString());
        environment.remove("no_proxy");
        environment.remove("NO_PROXY");
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("QT_FORCE_STDERR_LOGGING", "1");
        environment.insert("QT_LOGGING_RULES", "quenzal.*.debug=true");
        return environment;
    }

    // Starts the program and waits for its icon in the tray, for its event loop, and for Alt+Space
    // to be held by someone: the program or, in the stock openbox, the window manager. The
    // program shows its icon, and may answer a ping while it does, before it has built the
    // popover and taken the shortcut; a press then would go to whatever has the keyboard.
    std::optional<Window> start()
    {
        m_app = std::make_unique<QProcess>();
        m_app->setProcessEnvironment(appEnvironment());
        connect(m_app.get(), &QProcess::readyReadStandardError, this,
                [this] { m_log += m_app->readAllStandardError(); });
        m_app->start(QStringLiteral(QUENZAL_E2E));
        const std::optional<Window> icon =
            m_app->waitForStarted() ? waitForOne(Kind::trayIcon) : std::nullopt;
        if (!icon || !m_x.answersPing(icon->id, patience)) {
            qWarning("the program put no icon in the tray, or does not answer");
            return std::nullopt;
        }
        if (!QTest::qWaitFor([this] { return m_x.keyGrabbed(' ', XCB_MOD_MASK_1); }, patience)) {
            qWarning("nobody took Alt+Space");
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
            xdotool({"key", "alt+space"}) ? waitForOne(Kind::popover) : std::nullopt;
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

    void saveScreenshot(const Window &popover) const
    {
        const QString folder = QStringLiteral(QUENZAL_SCREENSHOTS);
        const QRect &frame = popover.frame;
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(
            0, frame.x(), frame.y(), frame.width(), frame.height());
        if (!QDir().mkpath(folder) || !shot.save(folder + "/popover.png")) {
            qWarning("could not save the screenshot in %s", qPrintable(folder));
        }
    }

    X11Windows m_x;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<QProcess> m_app;
    QByteArray m_log; // what the program wrote on standard error
    std::unique_ptr<QRasterWindow> m_other;
};

int main(int argc, char *argv[])
{
    // Run elsewhere every test would fail for reasons that have nothing to do with the program,
    // or, worse, drive the user's own desktop.
    if (!qEnvironmentVariableIsSet("QUENZAL_TEST_DESKTOP") ||
        qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr,
                     "FAIL!  : tst_desktop needs the throwaway desktop of scripts/with-desktop "
                     "(QUENZAL_TEST_DESKTOP or DISPLAY is not set): run it through ctest, or as "
                     "scripts/with-desktop %s\n",
                     argv[0]);
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    TestDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktop.moc"
