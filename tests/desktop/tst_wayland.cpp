// The real program on the Wayland desktops of scripts/with-desktop: headless sway and KWin's
// virtual output, each with waybar as the tray (QUENZAL_DESKTOP=sway or kwin), driven through
// the desktop's driver (swaydesktop.h, kwindesktop.h). A window of the test's own, one colour
// all over, lies under everything: it is the other program's window, and what hides it on a
// screenshot is the program's.
#include "kwindesktop.h"
#include "swaydesktop.h"

#include <QApplication>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>

#include <csignal>

using Wayland::Surface;

namespace {

const QByteArray desktopName = qgetenv("QUENZAL_DESKTOP");
const bool sway = desktopName == "sway";
const QString title = QStringLiteral("Parlora - Quenzal");
constexpr QRgb backdropColour = 0xffff00ff;

class Backdrop : public QRasterWindow
{
public:
    Backdrop() { setTitle(QStringLiteral("Backdrop")); }
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).fillRect(QRect(QPoint(), size()), backdropColour);
    }
};

} // namespace

class TestWayland : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!qEnvironmentVariableIsSet("QUENZAL_TEST_DESKTOP") ||
            (desktopName != "sway" && desktopName != "kwin")) {
            QSKIP("needs a Wayland desktop of its own: run under scripts/with-desktop with "
                  "QUENZAL_DESKTOP=sway or kwin");
        }
        if (sway) {
            m_desktop = std::make_unique<Wayland::SwayDesktop>();
        } else {
            m_desktop = std::make_unique<Wayland::KWinDesktop>();
        }
        QVERIFY2(m_desktop->isReady(), sway ? "the seat never had a pointer and a keyboard"
                                            : "cannot take reports from KWin's scripts");
        m_backdrop.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&m_backdrop));
        QVERIFY(!sway ||
                QTest::qWaitFor([&] { return swayDesktop().dropFrame(m_backdrop.title()); }));
    }
    void init() { m_app.emplace(); }
    void cleanup()
    {
        m_app.reset();
        // The next test's icon is to be the only one.
        QVERIFY(QTest::qWaitFor([] { return Tray::statusItems().isEmpty(); }, patience));
    }

    // Started before the panel, as autostart does, it shows its icon once the panel comes.
    void iconAppears_data()
    {
        QTest::addColumn<bool>("panelLate");
        QTest::newRow("panel first") << false;
        QTest::newRow("panel late") << true;
    }
    void iconAppears()
    {
        QFETCH(bool, panelLate);
        QVERIFY(!panelLate || quitPanel());
        QVERIFY(m_app->start());
        if (panelLate) {
            QVERIFY(m_app->waitToSay("no system tray yet"));
            QVERIFY(startPanel());
        }
        const qint64 pid = m_app->pid();
        QVERIFY(pid > 0);
        QTRY_COMPARE_WITH_TIMEOUT(Wayland::statusItemPid(), pid, patience);
    }

    // Opened one way, closed another; every time a surface of its own, unframed and untiled,
    // in no taskbar, over other windows, at the top right corner under the bar.
    void popoverOpensAndCloses_data()
    {
        QTest::addColumn<QString>("open");
        QTest::addColumn<QString>("close");
        QTest::newRow("icon, icon again") << QString("icon") << QString("icon");
        QTest::newRow("icon, another window") << QString("icon") << QString("other window");
        QTest::newRow("command line, command line")
            << QString("command line") << QString("command line");
    }
    void popoverOpensAndCloses()
    {
        QFETCH(QString, open);
        QFETCH(QString, close);
        QVERIFY(start());
        QVERIFY(ask(open));
        const std::optional<Surface> shown = waitForPopover();
        QVERIFY(shown);
        QVERIFY(shown->title.isEmpty() || shown->title == title); // layer surfaces have none
        QVERIFY(!shown->framed);
        QVERIFY(!shown->tiled);
        QVERIFY(!shown->inTaskbar);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const QRect workArea = m_desktop->workArea();
        QVERIFY2(screen.right() - shown->frame.right() <= 64 &&
                     shown->frame.top() >= workArea.top() &&
                     shown->frame.top() - workArea.top() <= 64,
                 qPrintable(QDebug::toString(shown->frame)));
        // Over the backdrop: hardly a pixel of it shows through.
        QImage shot;
        const auto covered = [&] {
            shot = m_desktop->screenshot();
            const QRect frame = shown->frame & shot.rect();
            int through = 0;
            for (int y = frame.top(); y <= frame.bottom(); y += 4) {
                for (int x = frame.left(); x <= frame.right(); x += 4) {
                    through += shot.pixel(x, y) == backdropColour;
                }
            }
            return !frame.isEmpty() && through * 16 * 20 < frame.width() * frame.height();
        };
        QVERIFY2(QTest::qWaitFor(covered, patience), "the popover is under the other window");
        if (QTest::currentDataTag() == QByteArray("icon, icon again")) {
            shot.save(QCoreApplication::applicationDirPath() + "/" + desktopName + "-popover.png");
        }
        QVERIFY(close == "other window" ? m_desktop->activate(m_backdrop.title()) : ask(close));
        QVERIFY(waitUntilClosed());
    }

    // Clicks inside the popover reach it, not the clear shield that catches those outside:
    // the microphone, pressed with no speech model on the machine, offers one, and the popover
    // stays.
    void clicksReachThePopover()
    {
        if (!sway) {
            QSKIP("KWin offers the tests no pointer to click with");
        }
        QVERIFY(start());
        QVERIFY(ask("icon"));
        const std::optional<Surface> shown = waitForPopover();
        QVERIFY(shown);
        // The microphone: the middle one of the three buttons at the bottom left.
        QVERIFY(swayDesktop().clickAt(shown->frame.bottomLeft() + QPoint(64, -28)));
        QVERIFY(m_app->waitToSay("dictation bar: Dictation needs the speech model"));
        QVERIFY(findPopover());
    }

    // Waybar draws the menu itself from the exported one; Settings opens the popover on its panel.
    void trayMenuOpensSettings()
    {
        QVERIFY(start());
        QVERIFY(m_desktop->openMenu());
        QVERIFY(ownSurfaces().isEmpty());
        QVERIFY(m_desktop->pickFromMenu("Settings"));
        QVERIFY(waitForPopover());
        QTRY_VERIFY_WITH_TIMEOUT(m_app->log().contains("posting \"showSettings\""), patience);
    }

    void translatesTypedText()
    {
        if (!m_desktop->canType()) {
            QSKIP("KWin 5.27 takes typed keys only through its fake-input protocol, for which "
                  "the tests have no client");
        }
        const QString source = QStringLiteral("Good morning, how are you today?");
        QVERIFY(start());
        QVERIFY(ask("icon"));
        QVERIFY(waitForPopover());
        QVERIFY(m_desktop->type(source));
        QVERIFY2(QTest::qWaitFor([&] { return m_app->sent(source) > 0; }, patience),
                 "the typed text never reached DeepSeek");
    }

    // `quenzal --translate-clipboard` takes the primary selection, else the clipboard, and
    // `--translate TEXT` its text; either goes out to DeepSeek at once.
    void translatesFromTheCommandLine_data()
    {
        QTest::addColumn<QStringList>("copy"); // what wl-copy is told; none: nothing is copied
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QString>("taken");
        const QString selected = QStringLiteral("Guten Morgen, wie geht es dir heute?");
        const QString copied = QStringLiteral("The train leaves from the second platform at noon.");
        const QStringList clipboard{"--translate-clipboard"};
        QTest::newRow("selected") << QStringList{"--primary", selected} << clipboard << selected;
        QTest::newRow("copied") << QStringList{copied} << clipboard << copied;
        QTest::newRow("given") << QStringList{} << QStringList{"--translate", copied} << copied;
    }
    void translatesFromTheCommandLine()
    {
        QFETCH(QStringList, copy);
        QFETCH(QStringList, command);
        QFETCH(QString, taken);
        QVERIFY(start());
        QProcess copier;
        if (!copy.isEmpty()) {
            copier.start("wl-copy", QStringList{"--foreground"} + copy);
            QVERIFY(copier.waitForStarted());
            const QStringList paste = copy.size() > 1 ? QStringList{"--primary", "--no-newline"}
                                                      : QStringList{"--no-newline"};
            const auto pasted = [&] {
                QProcess paster;
                paster.start("wl-paste", paste);
                return paster.waitForFinished() && paster.readAll() == copy.last();
            };
            QVERIFY(QTest::qWaitFor(
                [&] { return copier.state() == QProcess::NotRunning || pasted(); }, patience));
            const QByteArray said = copier.readAllStandardError();
            if (said.contains("does not seem to support primary selection")) {
                QSKIP("this compositor has no primary selection (KWin 5.27)");
            }
            QVERIFY2(copier.state() == QProcess::Running, said.constData());
        }
        QCOMPARE(m_app->run(command), 0);
        QVERIFY(waitForPopover());
        QVERIFY2(QTest::qWaitFor([&] { return m_app->sent(taken) == 1; }, patience),
                 "the text never reached DeepSeek");
        copier.kill();
        copier.waitForFinished();
    }

private:
    // Starts the program and waits for its icon.
    bool start()
    {
        return m_app->start() &&
               QTest::qWaitFor([this] { return Wayland::statusItemPid() == m_app->pid(); },
                               patience);
    }

    bool ask(const QString &how)
    {
        return how == "icon" ? m_desktop->activateIcon() : m_app->run({"--toggle"}) == 0;
    }

    QList<Surface> ownSurfaces()
    {
        QList<Surface> own = m_desktop->surfaces();
        own.removeIf([this](const Surface &surface) { return surface.pid != m_app->pid(); });
        return own;
    }

    // The program's one surface; on sway, where layer surfaces are in no list, what covers the
    // backdrop then.
    std::optional<Surface> findPopover()
    {
        QList<Surface> own = ownSurfaces();
        // The clear shield under the popover, over the whole free area, that takes clicks.
        const QRect free = m_desktop->workArea();
        own.removeIf([&](const Surface &surface) { return surface.frame == free; });
        if (!own.isEmpty() || !sway) {
            return own.size() == 1 ? std::optional(own.first()) : std::nullopt;
        }
        const QRect over = swayDesktop().overBackdrop(backdropColour);
        return over.width() < 100 || over.height() < 100
                   ? std::nullopt
                   : std::optional(Surface{{}, over, false, false, false, m_app->pid()});
    }
    std::optional<Surface> waitForPopover()
    {
        return waitToFind([this] { return findPopover(); });
    }
    bool waitUntilClosed()
    {
        return QTest::qWaitFor([this] { return !findPopover(); }, patience);
    }

    Wayland::SwayDesktop &swayDesktop() { return static_cast<Wayland::SwayDesktop &>(*m_desktop); }

    // The panel started with the desktop, then the one a test started again.
    bool quitPanel()
    {
        m_panel ? m_panel->terminate()
                : void(::kill(qEnvironmentVariableIntValue("QUENZAL_TEST_PANEL_PID"), SIGTERM));
        return Tray::waitUntilNoWatcher();
    }
    bool startPanel()
    {
        m_panel = std::make_unique<QProcess>();
        return Tray::startPanel(*m_panel, qEnvironmentVariable("QUENZAL_TEST_PANEL"));
    }

    std::unique_ptr<Wayland::Desktop> m_desktop;
    Backdrop m_backdrop;
    std::optional<E2EProgram> m_app;
    std::unique_ptr<QProcess> m_panel;
};

int main(int argc, char *argv[])
{
    qputenv("QT_FORCE_STDERR_LOGGING", "1"); // for the program started from the test too
    if (!qEnvironmentVariableIsSet("QUENZAL_TEST_DESKTOP")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    // Qt adds the program's name to its windows' titles, but where they are the same.
    QApplication::setApplicationDisplayName(QStringLiteral("Backdrop"));
    TestWayland test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_wayland.moc"
