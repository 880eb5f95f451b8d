// The real program on Xvfb, openbox and trayer, driven with xdotool; DeepSeek is behind http_proxy.
#include "testhome.h"
#include "testhttpserver.h"
#include "x11desktop.h"

#include <QClipboard>
#include <QJsonDocument>
#include <QRasterWindow>

using X11Desktop::xdotool;
using Window = X11Desktop::Display::Window;
using Kind = X11Desktop::Display::Kind;

namespace {

constexpr int patience = 30'000; // ms: longer is a failure, not a busy machine or sanitizers
const QByteArray shortcutTaken = "the global shortcut is not available";
const bool stockOpenbox = qEnvironmentVariableIsSet("QUENZAL_DESKTOP_DEFAULT_OPENBOX");

// Presses at a fraction of `window`'s size, wherever trayer has just moved it.
bool click(const Window &window, QPointF at, int button = 1, int count = 1)
{
    return xdotool({"mousemove", "--window", QString::number(window.id),
                    QString::number(int(window.frame.width() * at.x())),
                    QString::number(int(window.frame.height() * at.y())), "click", "--repeat",
                    QString::number(count), "--delay", "80", QString::number(button)});
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QUENZAL_REQUIRE_DESKTOP();
        QVERIFY2(m_x.isConnected(), "cannot connect to the X server");
    }
    // The program and its second copy get this environment.
    void init()
    {
        m_home.emplace();
        m_server = std::make_unique<TestHttpServer>();
        m_log.clear();
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_home->path())); // of mode 0700
        qputenv("http_proxy", m_server->url(QString()).toEncoded());
        qunsetenv("no_proxy");
        qunsetenv("NO_PROXY");
        qputenv("QT_LOGGING_RULES", "quenzal.*.debug=true");
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

    // Also run on the stock openbox: the program reports Alt+Space taken once and carries on.
    void trayClickTogglesPopoverUnderTheIcon()
    {
        const std::optional<Window> icon = start();
        QVERIFY(icon);
        QProcess second; // ends at once, and leaves the first copy running with its one icon
        second.start(QUENZAL_E2E);
        QVERIFY(second.waitForFinished(patience));
        QCOMPARE(second.exitCode(), 0);
        // Two presses a few pixels apart are two clicks, never a double click, whatever the timing.
        QVERIFY(click(*icon, {0.25, 0.5}));
        const std::optional<Window> popover = waitForOne(Kind::popover);
        QVERIFY(popover);
        const QList<Window> icons = windows(Kind::trayIcon);
        QCOMPARE(icons.size(), 1);
        const QPoint under(icons.first().frame.center().x(), icons.first().frame.bottom());
        QVERIFY(popover->frame.left() <= under.x() && under.x() <= popover->frame.right());
        QVERIFY(popover->frame.top() > under.y() && popover->frame.top() <= under.y() + 8);
        QVERIFY(m_x.screen().contains(popover->frame));
        QCOMPARE(m_log.count(shortcutTaken), stockOpenbox ? 1 : 0);
        QVERIFY(click(*icon, {0.75, 0.5}));
        QVERIFY(waitUntilGone(Kind::popover));
    }

    // A press on another window closes it; Alt+Space while open does in translatesTypedText.
    void popoverCloses()
    {
        QVERIFY(start());
        QRasterWindow other; // another program's
        other.setGeometry(60, 600, 320, 240);
        other.show();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QVERIFY(openPopoverWithShortcut());
        QVERIFY(click({xcb_window_t(other.winId()), other.geometry()}, {0.5, 0.5}, 3));
        QVERIFY(waitUntilGone(Kind::popover));
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
        QVERIFY(waitForOne(Kind::menu));
        QVERIFY(windows(Kind::popover).isEmpty());
        // Keys sent before the menu takes the keyboard would go elsewhere.
        QVERIFY(QTest::qWaitFor([this] { return m_x.grabbed(); }, patience));
        QVERIFY(xdotool(QStringList{"key"} + keys + QStringList{"Return"}));
        if (outcome == "quit") {
            QVERIFY(m_app->waitForFinished(patience));
            QCOMPARE(m_app->exitCode(), 0);
            return;
        }
        QVERIFY(waitForOne(Kind::popover));
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
        QVERIFY(QTest::qWaitFor([&] { return sentWith("how are") > 0; }, patience));
        m_server->setDefaultReply({.body = TestHttpServer::completion(answer)});
        QVERIFY(xdotool({"key", "alt+space"}));
        QVERIFY(waitUntilGone(Kind::popover));
        const std::optional<Window> popover = openPopoverWithShortcut();
        QVERIFY(popover);
        QVERIFY(xdotool({"type", "--delay", "20", source.mid(22)}));
        QVERIFY(QTest::qWaitFor([&] { return sentWith(source) > 0; }, patience));
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
    // Waits for the icon, then for Alt+Space (set up last) to be held or reported taken: a press
    // before could go to whatever has the keyboard, or find no popover built.
    std::optional<Window> start()
    {
        m_app = std::make_unique<QProcess>();
        connect(m_app.get(), &QProcess::readyReadStandardError, this,
                [this] { m_log += m_app->readAllStandardError(); });
        m_app->start(QUENZAL_E2E);
        const auto settled = [this] {
            return stockOpenbox ? m_log.contains(shortcutTaken) : m_x.grabbed(' ', XCB_MOD_MASK_1);
        };
        const std::optional<Window> icon =
            m_app->waitForStarted(patience) ? waitForOne(Kind::trayIcon) : std::nullopt;
        return icon && QTest::qWaitFor(settled, patience) ? icon : std::nullopt;
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
        return QTest::qWaitFor(settled, patience) && found.size() == 1 ? found.value(0)
                                                                       : std::optional<Window>();
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
        return popover && QTest::qWaitFor([&] { return m_x.hasFocus(popover->id); }, patience)
                   ? popover
                   : std::nullopt;
    }

    X11Desktop::Display m_x;
    std::optional<TestHome> m_home;
    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<QProcess> m_app;
    QByteArray m_log; // what the program wrote on standard error
};

int main(int argc, char *argv[])
{
    return X11Desktop::run<TestDesktop>(argc, argv);
}

#include "tst_desktop.moc"
