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
        // On sway the popover is found as what covers the backdrop: the backdrop must have
        // settled, frameless and filling the free area, before the first test looks.
        if (sway) {
            (void)QTest::qWaitFor(
                [&] { return swayDesktop().overBackdrop(backdropColour).isEmpty(); }, patience);
        }
    }
    void init() { m_app.emplace(); }
    void cleanup()
    {
        m_app.reset();
        // The next test's icon is to be the only one.
        QVERIFY(QTest::qWaitFor([] { return Tray::statusItems().isEmpty(); }, patience));
    }

    // Opened from the icon, closed by it or by another window; a surface of its own, unframed
    // and untiled, in no taskbar, over other windows, at the top right corner under the bar,
    // that takes what is typed (where the desktop lets the test type: KWin 5.27 takes keys only
    // through its fake-input protocol, for which the tests have no client).
    void popoverOpensAndCloses_data()
    {
        QTest::addColumn<bool>("byOtherWindow");
        QTest::newRow("icon again") << false;
        QTest::newRow("another window") << true;
    }
    void popoverOpensAndCloses()
    {
        QFETCH(bool, byOtherWindow);
        QVERIFY(start());
        QVERIFY(m_desktop->activateIcon());
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
        const auto covered = [&] {
            const QImage shot = m_desktop->screenshot();
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
        // It has the keyboard: typed text goes out to DeepSeek.
        const QString source = QStringLiteral("Good morning, how are you today?");
        QVERIFY(!m_desktop->canType() ||
                (m_desktop->type(source) &&
                 QTest::qWaitFor([&] { return m_app->sent(source) > 0; }, patience)));
        QVERIFY(byOtherWindow ? m_desktop->activate(m_backdrop.title())
                              : m_desktop->activateIcon());
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
        QVERIFY(m_desktop->activateIcon());
        const std::optional<Surface> shown = waitForPopover();
        QVERIFY(shown);
        // The microphone: the middle one of the three buttons at the bottom left.
        QVERIFY(swayDesktop().clickAt(shown->frame.bottomLeft() + QPoint(64, -28)));
        QVERIFY(m_app->waitToSay("dictation bar: Dictation needs the speech model"));
        QVERIFY(findPopover());
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

    // The program's one surface; on sway, where layer surfaces are in no list, what covers the
    // backdrop then.
    std::optional<Surface> findPopover()
    {
        QList<Surface> own = m_desktop->surfaces();
        // The clear shield under the popover, over the whole free area, that takes clicks.
        const QRect free = m_desktop->workArea();
        own.removeIf([&](const Surface &s) { return s.pid != m_app->pid() || s.frame == free; });
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

    std::unique_ptr<Wayland::Desktop> m_desktop;
    Backdrop m_backdrop;
    std::optional<E2EProgram> m_app;
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
