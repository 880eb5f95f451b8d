// The real program on Xvfb, driven with xdotool, on two desktops: openbox with trayer (an XEmbed
// tray) and, with QUENZAL_DESKTOP=xfce, xfwm4 with its compositor and xfce4-panel (a
// StatusNotifierItem tray, which keeps the icon's place to itself). DeepSeek is behind http_proxy.
#include "e2eprogram.h"
#include "x11desktop.h"

#include <QClipboard>
#include <QDir>
#include <QPainter>
#include <QRasterWindow>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>

#include <cmath>

using X11Desktop::xdotool;
using Window = X11Desktop::Display::Window;
using Kind = X11Desktop::Display::Kind;

namespace {

const QByteArray shortcutTaken = "Alt+Space is already taken";
constexpr quint16 alt = XCB_MOD_MASK_1;
constexpr quint16 altShift = XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT;
const bool stockOpenbox = qEnvironmentVariableIsSet("QUENZAL_DESKTOP_DEFAULT_OPENBOX");
const bool xfce = qgetenv("QUENZAL_DESKTOP") == "xfce";
// The window manager may hold Alt+Space: stock openbox does, xfwm4 as it comes mostly does.
const bool shortcutTakenByDesktop = stockOpenbox || xfce;

// Presses at a fraction of `frame`, in screen coordinates.
bool click(const QRect &frame, QPointF at, int button = 1, int count = 1)
{
    return xdotool({"mousemove", QString::number(frame.x() + int(frame.width() * at.x())),
                    QString::number(frame.y() + int(frame.height() * at.y())), "click", "--repeat",
                    QString::number(count), "--delay", "80", QString::number(button)});
}

QImage screenshot()
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
        QImage::Format_RGB32);
}

// Contrast as the web's accessibility guidelines measure it.
double contrast(QRgb a, QRgb b)
{
    const auto luminance = [](QRgb rgb) {
        const auto channel = [](int value) {
            const double v = value / 255.0;
            return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) +
               0.0722 * channel(qBlue(rgb));
    };
    const auto [darker, lighter] = std::minmax({luminance(a), luminance(b)});
    return (lighter + 0.05) / (darker + 0.05);
}

// The panel strip above the screen's free area holds nothing but the status tray with our icon:
// its frame is the box around what differs from the panel's own colour there.
struct PanelIcon
{
    QRect frame;
    QRgb panel = 0;
    QRgb glyph = 0; // the glyph's pixel that stands out most
};

std::optional<PanelIcon> findPanelIcon(const QImage &shot)
{
    const int bottom = QGuiApplication::primaryScreen()->availableGeometry().top() - 3;
    if (bottom < 8) {
        return std::nullopt;
    }
    PanelIcon icon{{}, shot.pixel(shot.width() / 2, bottom / 2)};
    double best = 1;
    for (int y = 2; y < bottom; ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const double c = contrast(shot.pixel(x, y), icon.panel);
            if (c > 1.5) {
                icon.frame |= QRect(x, y, 1, 1);
            }
            if (c > best) {
                best = c;
                icon.glyph = shot.pixel(x, y);
            }
        }
    }
    return icon.frame.width() >= 8 ? std::optional(icon) : std::nullopt;
}

} // namespace

// Never the machine's own sound server: scripts/with-sound-server starts one for the test.
#define QUENZAL_REQUIRE_SOUND_SERVER()                                                             \
    if (!qEnvironmentVariableIsSet("QUENZAL_TEST_SOUND_SERVER"))                                   \
    QSKIP("needs a sound server of its own: run under scripts/with-sound-server")

class TestDesktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QUENZAL_REQUIRE_DESKTOP();
        QVERIFY2(m_x.isConnected(), "cannot connect to the X server");
        if (xfce) {
            // Installed as a package installs it, where the panel looks icons up by name.
            const QString apps = qEnvironmentVariable("XDG_DATA_DIRS").section(':', 0, 0) +
                                 "/icons/hicolor/scalable/apps";
            QVERIFY(QDir().mkpath(apps));
            QVERIFY(QFile::copy(QUENZAL_SYMBOLIC_ICON, apps + "/" QUENZAL_APP_ID "-symbolic.svg"));
            QVERIFY(restartPanel());
        }
    }
    void init() { m_app.emplace(); }
    void cleanup()
    {
        m_app.reset();
        // The panel drops the icon of the program just ended a moment later; the next test's
        // icon is to be the only one.
        QVERIFY(!xfce ||
                QTest::qWaitFor([] { return Tray::hasWatcher() && Tray::statusItems().isEmpty(); },
                                patience));
    }

    // Also run on the stock openbox: the program reports Alt+Space taken once and carries on.
    void trayClickTogglesPopoverUnderTheIcon()
    {
        const std::optional<QRect> icon = start();
        QVERIFY(icon);
        QCOMPARE(m_app->run({}), 0); // a second copy leaves the first running with its one icon
        // Two presses a few pixels apart are two clicks, never a double click, whatever the timing.
        QVERIFY(click(*icon, {0.25, 0.5}));
        const std::optional<Window> popover = waitForOne(Kind::popover);
        QVERIFY(popover);
        QVERIFY(xfce || windows(Kind::trayIcon).size() == 1);
        // Under the icon; where the tray keeps its place to itself, under the panel it is on.
        const QPoint under(icon->center().x(), icon->bottom());
        const int lowest =
            xfce ? QGuiApplication::primaryScreen()->availableGeometry().top() + 2 : under.y() + 8;
        QVERIFY(popover->frame.left() <= under.x() && under.x() <= popover->frame.right());
        QVERIFY(popover->frame.top() > under.y() && popover->frame.top() <= lowest);
        QVERIFY(m_x.screen().contains(popover->frame));
        QVERIFY(xfce || m_app->log().count(shortcutTaken) == (stockOpenbox ? 1 : 0));
        // A right click shows the menu and leaves the popover open.
        QVERIFY(click(*icon, {0.5, 0.5}, 3));
        QVERIFY(QTest::qWaitFor([this] { return m_x.grabbed(); }, patience));
        QVERIFY(xdotool({"key", "Escape"}));
        QVERIFY(QTest::qWaitFor([this] { return !m_x.grabbed(); }, patience));
        QCOMPARE(windows(Kind::popover).size(), 1);
        // The second click closes it for good: it does not come back when the click ends.
        QVERIFY(click(*icon, {0.75, 0.5}));
        QVERIFY(waitUntilGone(Kind::popover));
        QVERIFY(!QTest::qWaitFor([this] { return !windows(Kind::popover).isEmpty(); }, 2000));
        QVERIFY(click(*icon, {0.5, 0.5}));
        QVERIFY(waitForOne(Kind::popover));
    }

    // The language list hangs below the popover, out of its frame: a press there picks a
    // language and leaves the popover open. A press on another window closes it; Alt+Space while
    // open does in translatesTypedText.
    void pressesOutsideThePopover()
    {
        QVERIFY(start());
        QRasterWindow other; // another program's
        other.setGeometry(60, 600, 320, 240);
        other.show();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        const std::optional<Window> popover = openPopover();
        QVERIFY(popover);
        QVERIFY(click(popover->frame, {0.344, 0.076})); // the source side's "···"
        const std::optional<Window> list = waitForOne(Kind::menu);
        QVERIFY(list);
        QVERIFY(list->frame.bottom() > popover->frame.bottom() + 20);
        QVERIFY(click({list->frame.x(), popover->frame.bottom() + 10, list->frame.width(), 1},
                      {0.5, 0}));
        QVERIFY(waitUntilGone(Kind::menu));
        QVERIFY(!QTest::qWaitFor([this] { return windows(Kind::popover).isEmpty(); }, 1000));
        QVERIFY(click(other.geometry(), {0.5, 0.5}, 3));
        QVERIFY(waitUntilGone(Kind::popover));
    }

    void contextMenu_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QByteArray>("outcome"); // what is posted, "quit", or empty: nothing
        // Nothing is selected at first: Down goes to the first entry, Up to the last.
        QTest::newRow("Open") << QStringList{"Down"} << QByteArray();
        QTest::newRow("Settings") << QStringList{"Up", "Up"} << QByteArray("showSettings");
        QTest::newRow("Quit") << QStringList{"Up"} << QByteArray("quit");
    }
    void contextMenu()
    {
        QFETCH(QStringList, keys);
        QFETCH(QByteArray, outcome);
        const std::optional<QRect> icon = start();
        QVERIFY(icon);
        QVERIFY(click(*icon, {0.5, 0.5}, 3));
        QVERIFY(xfce || waitForOne(Kind::menu)); // the panel draws it there
        QVERIFY(windows(Kind::popover).isEmpty());
        // Keys sent before the menu takes the keyboard would go elsewhere.
        QVERIFY(QTest::qWaitFor([this] { return m_x.grabbed(); }, patience));
        QVERIFY(xdotool(QStringList{"key"} + keys + QStringList{"Return"}));
        if (outcome == "quit") {
            QVERIFY(m_app->process().waitForFinished(patience));
            QCOMPARE(m_app->process().exitCode(), 0);
            return;
        }
        QVERIFY(waitForOne(Kind::popover));
        QVERIFY(xfce || waitUntilGone(Kind::menu));
        QTRY_COMPARE_WITH_TIMEOUT(m_app->log().count("posting"), outcome.isEmpty() ? 0 : 1,
                                  patience);
        QVERIFY(outcome.isEmpty() ||
                m_app->log().contains("quenzal.shell: posting \"" + outcome + '"'));
        // The first click on the icon, with the popover opened from the menu, closes it for good.
        QVERIFY(click(*icon, {0.5, 0.5}));
        QVERIFY(waitUntilGone(Kind::popover));
        QVERIFY(!QTest::qWaitFor([this] { return !windows(Kind::popover).isEmpty(); }, 2000));
    }

    // `quenzal --toggle`, --show and --hide reach the running copy; --show starts one when none
    // runs, --hide does not; without a session bus the command says so and fails.
    void commandLineControl()
    {
        QCOMPARE(m_app->run({"--hide"}), 0);
        QVERIFY(start({"--show"}));
        QVERIFY(waitForOne(Kind::popover));
        for (const bool open : {false, true, false}) {
            QCOMPARE(m_app->run({"--toggle"}), 0);
            QVERIFY(open ? bool(waitForOne(Kind::popover)) : waitUntilGone(Kind::popover));
        }
        QCOMPARE(m_app->run({"--show"}), 0);
        QVERIFY(waitForOne(Kind::popover));
        QCOMPARE(m_app->run({"--hide"}), 0);
        QVERIFY(waitUntilGone(Kind::popover));
        QProcessEnvironment noBus = QProcessEnvironment::systemEnvironment();
        noBus.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        QByteArray message;
        QCOMPARE(m_app->run({"--show"}, &message, noBus), 1);
        QVERIFY2(message.contains("no D-Bus session bus"), message.constData());
        QVERIFY(windows(Kind::popover).isEmpty());
    }

    // A display named but gone: the program takes the one that answers, or says which do not.
    void deadDisplays_data()
    {
        QTest::addColumn<QString>("wayland");
        QTest::addColumn<QString>("x11");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("wayland gone") << "quenzal-gone" << qEnvironmentVariable("DISPLAY")
                                      << QByteArray("does not answer; using the X11 display");
        QTest::newRow("both gone") << "quenzal-gone"
                                   << ":987"
                                   << QByteArray("the Wayland display \"quenzal-gone\" and the "
                                                 "X11 display \":987\" do not answer");
    }
    void deadDisplays()
    {
        QFETCH(QString, wayland);
        QFETCH(QString, x11);
        QFETCH(QByteArray, said);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("QT_QPA_PLATFORM");
        environment.insert("WAYLAND_DISPLAY", wayland);
        environment.insert("DISPLAY", x11);
        QProcess &process = m_app->process();
        process.setProcessEnvironment(environment);
        QVERIFY(m_app->start());
        QVERIFY(m_app->waitToSay(said));
        QVERIFY(
            QTest::currentDataTag() == QByteArray("wayland gone")
                ? bool(findIcon())
                : (process.state() == QProcess::NotRunning || process.waitForFinished(patience)) &&
                      process.exitCode() == 1);
    }

    // Alt+Space closes and reopens it between two halves: it must type nothing and keep the text.
    void translatesTypedText()
    {
        const QString source = QStringLiteral("Good morning, how are you today?");
        const QString answer = QStringLiteral("Guten Morgen, wie geht es dir heute?");
        if (xfce) {
            QSKIP("xfwm4 holds Alt+Space");
        }
        QVERIFY(start());
        QVERIFY(openPopover());
        QVERIFY(xdotool({"type", "--delay", "20", source.left(22)}));
        QVERIFY(QTest::qWaitFor([&] { return m_app->sent("how are") > 0; }, patience));
        m_app->server().setDefaultReply({.body = TestHttpServer::completion(answer)});
        QVERIFY(xdotool({"key", "alt+space"}));
        QVERIFY(waitUntilGone(Kind::popover));
        const std::optional<Window> popover = openPopover();
        QVERIFY(popover);
        QVERIFY(xdotool({"type", "--delay", "20", source.mid(22)}));
        QVERIFY(QTest::qWaitFor([&] { return m_app->sent(source) > 0; }, patience));
        QCOMPARE(m_app->server().requests().last().target, "http://deepseek.test/chat/completions");

        QVERIFY2(translationShows(*popover, answer), "the translation area never showed it");
        QCOMPARE(windows(Kind::popover).size(), 1);
        QCOMPARE(m_app->sent(source), 1);
    }

    // Alt+Shift+Space takes the text selected in another program (rebindingMovesTheGrab), else
    // the one copied, also past a selection owner that never answers, and translates it at once.
    void translatesTheSelection()
    {
        const QString copied = QStringLiteral("The train leaves from the second platform at noon.");
        const QString answer = QStringLiteral("Bonjour, comment vas-tu aujourd'hui ?");
        QVERIFY(start());
        QVERIFY(QTest::qWaitFor([&] { return m_x.grabbed(' ', altShift); }, patience));
        m_app->server().setDefaultReply({.body = TestHttpServer::completion(answer)});
        QGuiApplication::clipboard()->setText(copied);
        QVERIFY(m_x.holdSelection("PRIMARY"));
        QVERIFY(xdotool({"key", "alt+shift+space"}));
        const std::optional<Window> popover = waitForOne(Kind::popover);
        QVERIFY(popover);
        QVERIFY(QTest::qWaitFor([&] { return m_app->sent(copied) == 1; }, patience));
        // Let go before the translation is selected: Qt's clipboard here would wait for the
        // frozen owner too.
        QVERIFY(m_x.holdSelection("PRIMARY", false));
        QVERIFY(translationShows(*popover, answer));
        QCOMPARE(m_app->server().requests().size(), 1);
    }

    // A combination recorded in the settings takes the place of the old one at once.
    void rebindingMovesTheGrab()
    {
        QVERIFY(start());
        QVERIFY(QTest::qWaitFor([&] { return m_x.grabbed(' ', altShift); }, patience));
        QVERIFY(callDBus(QUENZAL_APP_ID, "/" + QString(QUENZAL_APP_ID).replace('.', '/'),
                         QUENZAL_APP_ID, "OpenPanel", {"settings"})
                    .type() == QDBusMessage::ReplyMessage);
        const std::optional<Window> popover = waitForOne(Kind::popover);
        QVERIFY(popover);
        // The second badge of the shortcuts card, at the right of the panel under its header.
        QVERIFY(QTest::qWaitFor([&] { return m_x.hasFocus(popover->id); }, patience));
        QVERIFY(click({popover->frame.right() - 60, popover->frame.top() + 156, 1, 1}, {0, 0}));
        QVERIFY(QTest::qWaitFor([&] { return !m_x.grabbed(' ', altShift); }, patience));
        QVERIFY(xdotool({"key", "ctrl+alt+y"}));
        QVERIFY(QTest::qWaitFor([&] { return m_x.grabbed('y', XCB_MOD_MASK_CONTROL | alt); },
                                patience));
        QVERIFY(!m_x.grabbed(' ', altShift));
        QVERIFY(shortcutTakenByDesktop || m_x.grabbed(' ', alt)); // the other one is back

        QGuiApplication::clipboard()->setText("Guten Abend, bis morgen früh!",
                                              QClipboard::Selection);
        QVERIFY(xdotool({"key", "ctrl+alt+y"}));
        QVERIFY(QTest::qWaitFor([&] { return m_app->sent("bis morgen") == 1; }, patience));
    }

    // The panel recolours the symbolic icon for its dark mode, which it reads when it starts:
    // started again, the icon must come back to it and stand out.
    void iconStandsOutOnADarkPanel()
    {
        if (!xfce) {
            QSKIP("trayer has one colour; the icon's own is checked on it in the unit tests");
        }
        QVERIFY(start());
        QVERIFY(QProcess::execute("xfconf-query", {"-c", "xfce4-panel", "-p", "/panels/dark-mode",
                                                   "-s", "true"}) == 0);
        QVERIFY(restartPanel());
        std::optional<PanelIcon> icon;
        QVERIFY(QTest::qWaitFor(
            [&] {
                return (icon = findPanelIcon(screenshot())) &&
                       contrast(icon->glyph, icon->panel) >= 3;
            },
            patience));
    }

    // Started before the panel, as autostart does, it shows its icon once the panel comes.
    void iconComesWithALateTray()
    {
        if (!xfce) {
            QSKIP("trayer is there before the program");
        }
        QVERIFY(quitPanel());
        QVERIFY(m_app->start());
        QVERIFY(m_app->waitToSay("no system tray yet"));
        QVERIFY(startPanel());
        const std::optional<QRect> icon = findIcon();
        QVERIFY(icon);
        QVERIFY(click(*icon, {0.5, 0.5}));
        QVERIFY(waitForOne(Kind::popover));
    }

    // xfwm4 composites but does not blur: nothing of the window behind may show through.
    void popoverHidesBusyWindow()
    {
        if (!xfce) {
            QSKIP("needs the compositor of the Xfce desktop");
        }
        QVERIFY(start());
        Stripes behind; // another program's window of black and white stripes
        behind.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
        behind.show();
        QVERIFY(QTest::qWaitForWindowExposed(&behind));
        const std::optional<Window> popover = openPopover();
        QVERIFY(popover);
        // An empty stretch of the source editor, under its placeholder.
        const QRect empty = QRect(popover->frame.x() + popover->frame.width() / 10,
                                  popover->frame.y() + popover->frame.height() / 2,
                                  popover->frame.width() / 3, popover->frame.height() / 4);
        const auto even = [&] {
            const QImage shot = screenshot();
            int lightest = 0;
            int darkest = 255;
            for (int y = empty.top(); y <= empty.bottom(); ++y) {
                for (int x = empty.left(); x <= empty.right(); ++x) {
                    lightest = std::max(lightest, qGray(shot.pixel(x, y)));
                    darkest = std::min(darkest, qGray(shot.pixel(x, y)));
                }
            }
            return lightest - darkest < 8;
        };
        QVERIFY2(QTest::qWaitFor(even, patience), "the stripes behind show through the popover");
    }

    // The microphone with the real dictation module and a model that recognises nothing: the
    // recording ends by itself once the speech is over, and the popover says nothing was heard.
    // The sound libraries come with the module, at the first press and not before.
    void dictationEndsAfterTheSpeech()
    {
        QUENZAL_REQUIRE_SOUND_SERVER();
        QTemporaryDir dir;
        const QString speech = dir.filePath("speech.wav");
        QCOMPARE(QProcess::execute("espeak-ng", {"-w", speech,
                                                 "Good morning, how are you today? "
                                                 "The train leaves at noon."}),
                 0);
        const double speechSeconds = (QFileInfo(speech).size() - 44) / (22050.0 * 2);
        QVERIFY(installTestModel());
        QVERIFY(start());
        const std::optional<Window> popover = openPopover();
        QVERIFY(popover);
        QCOMPARE(soundLibraries(), QStringList());

        QVERIFY(click(popover->frame, microphone));
        QVERIFY(m_app->waitToSay("dictation bar: Listening"));
        QProcess player;
        player.start("paplay", {speech});
        // whisper runs the whole model on the CPU, weights or not: far longer than anything else.
        QVERIFY(QTest::qWaitFor([&] { return m_app->log().contains("dictation bar: Nothing"); },
                                recognitionPatience));
        QVERIFY(player.state() == QProcess::NotRunning || player.waitForFinished(patience));
        QCOMPARE(player.exitCode(), 0);
        // The clock it showed: through all of the speech, and ended well before the longest
        // recording (30 s) would have ended it.
        int seconds = -1;
        for (auto clocks = QRegularExpression("dictation bar: Listening.* (\\d+):(\\d+) ")
                               .globalMatch(QString::fromUtf8(m_app->log()));
             clocks.hasNext();) {
            const QRegularExpressionMatch clock = clocks.next();
            seconds = clock.captured(1).toInt() * 60 + clock.captured(2).toInt();
        }
        QVERIFY2(seconds >= int(speechSeconds) && seconds < 20,
                 qPrintable(QString::number(seconds)));
        QCOMPARE(soundLibraries().size(), 2);
    }

    // Last: takes the sound server's only source away.
    void noMicrophone_data()
    {
        QTest::addColumn<bool>("server");
        QTest::newRow("no sound server") << false;
        QTest::newRow("a sound server without a source") << true;
    }
    void noMicrophone()
    {
        QUENZAL_REQUIRE_SOUND_SERVER();
        QFETCH(bool, server);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (server) {
            QCOMPARE(QProcess::execute("pactl", {"unload-module", "module-null-sink"}), 0);
        } else {
            environment.insert("PULSE_SERVER", "unix:" + QDir::currentPath() + "/no-such-socket");
        }
        m_app->process().setProcessEnvironment(environment);
        QVERIFY(installTestModel());
        QVERIFY(start());
        const std::optional<Window> popover = openPopover();
        QVERIFY(popover);
        QVERIFY(click(popover->frame, microphone));
        QVERIFY(m_app->waitToSay("dictation bar: No microphone found"));
    }

private:
    static constexpr int recognitionPatience = 300'000; // ms
    static constexpr QPointF microphone{0.082, 0.937};  // under the source text, the second icon

    // whisper's weightless test model, tiny (the quicker to run), chosen and where the program
    // looks for it.
    static bool installTestModel()
    {
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME") + "/Quenzal/Quenzal.conf";
        QSettings(config, QSettings::IniFormat).setValue("dictationModel", "tiny");
        const QString models = qEnvironmentVariable("XDG_DATA_HOME") + "/Quenzal/models";
        return QDir().mkpath(models) && QFile::copy(QUENZAL_TEST_MODEL, models + "/ggml-tiny.bin");
    }

    // Qt Multimedia and the PulseAudio client among what the program has mapped.
    QStringList soundLibraries() const
    {
        QFile maps(QStringLiteral("/proc/%1/maps").arg(m_app->pid()));
        const QByteArray mapped = maps.open(QIODevice::ReadOnly) ? maps.readAll() : QByteArray();
        QStringList found;
        for (const char *library : {"/libQt6Multimedia.so", "/libpulse.so"}) {
            if (mapped.contains(library)) {
                found.append(library);
            }
        }
        return found;
    }

    class Stripes : public QRasterWindow
    {
        void paintEvent(QPaintEvent *) override
        {
            QPainter painter(this);
            for (int x = 0; x < width(); x += 8) {
                painter.fillRect(x, 0, 4, height(), Qt::black);
                painter.fillRect(x + 4, 0, 4, height(), Qt::white);
            }
        }
    };

    // Three presses into the translation select its line; again until it holds `answer`.
    static bool translationShows(const Window &popover, const QString &answer)
    {
        QClipboard *clipboard = QGuiApplication::clipboard();
        const auto selected = [&] { return clipboard->text(QClipboard::Selection) == answer; };
        const auto select = [&] { return click(popover.frame, {0.6, 0.19}, 1, 3); };
        return QTest::qWaitFor([&] { return select() && QTest::qWaitFor(selected, 500); },
                               patience);
    }

    // Quits the panel, waits until its watcher has left the bus, and starts a new one of its own.
    bool restartPanel() { return quitPanel() && startPanel(); }
    bool quitPanel()
    {
        QProcess::execute("xfce4-panel", {"--quit"});
        return Tray::waitUntilNoWatcher();
    }
    bool startPanel()
    {
        return Tray::startPanel(*(m_panel = std::make_unique<QProcess>()), "xfce4-panel");
    }

    // Where the icon is: the window trayer gives it, or what the panel draws.
    std::optional<QRect> findIcon() const
    {
        if (!xfce) {
            const std::optional<Window> icon = waitForOne(Kind::trayIcon);
            return icon ? std::optional(icon->frame) : std::nullopt;
        }
        // Drawn, and where the panel has finished moving it.
        std::optional<PanelIcon> icon;
        QRect previous;
        const auto settled = [&] {
            icon = Tray::statusItems().size() == 1 ? findPanelIcon(screenshot()) : std::nullopt;
            return icon && std::exchange(previous, icon->frame) == icon->frame;
        };
        return QTest::qWaitFor(settled, patience) ? std::optional(icon->frame) : std::nullopt;
    }

    // With the shortcut, or where the desktop holds it, with a click on the icon; waits until the
    // popover has the keyboard, so that keys typed next reach it.
    std::optional<Window> openPopover() const
    {
        const bool asked = shortcutTakenByDesktop ? m_icon && click(*m_icon, {0.5, 0.5})
                                                  : xdotool({"key", "alt+space"});
        const std::optional<Window> popover = asked ? waitForOne(Kind::popover) : std::nullopt;
        return popover && QTest::qWaitFor([&] { return m_x.hasFocus(popover->id); }, patience)
                   ? popover
                   : std::nullopt;
    }

    // Waits for the icon, then for Alt+Space (set up last) to be held or reported taken: a press
    // before could go to whatever has the keyboard, or find no popover built.
    std::optional<QRect> start(const QStringList &arguments = {})
    {
        if (!m_app->start(arguments)) {
            return std::nullopt;
        }
        // xfwm4 takes Alt+Space once its settings daemon has answered it, or not at all.
        const auto settled = [this] {
            return xfce           ? m_app->log().contains(shortcutTaken) || m_x.grabbed(' ', alt)
                   : stockOpenbox ? m_app->log().contains(shortcutTaken)
                                  : m_x.grabbed(' ', alt);
        };
        m_icon = findIcon();
        return m_icon && QTest::qWaitFor(settled, patience) ? m_icon : std::nullopt;
    }

    QList<Window> windows(Kind kind) const
    {
        return m_app->isRunning() ? m_x.mapped(m_app->pid(), kind) : QList<Window>();
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
        return QTest::qWaitFor(settled, patience) && found.size() == 1 ? found.value(0)
                                                                       : std::optional<Window>();
    }

    bool waitUntilGone(Kind kind) const
    {
        return QTest::qWaitFor([&] { return windows(kind).isEmpty(); }, patience);
    }

    X11Desktop::Display m_x;
    std::optional<E2EProgram> m_app;
    std::unique_ptr<QProcess> m_panel; // one started again by a test
    std::optional<QRect> m_icon;
};

int main(int argc, char *argv[])
{
    return X11Desktop::run<TestDesktop>(argc, argv);
}

#include "tst_desktop.moc"
