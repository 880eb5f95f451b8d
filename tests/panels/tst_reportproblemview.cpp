// The problem-report panel: its states, the report text, and sending through a real HTTP server.
#include "apptheme.h"
#include "deployment.h"
#include "noscrolltexteditor.h"
#include "problemreport.h"
#include "reportproblemview.h"
#include "telegramreporter.h"
#include "testhttpserver.h"
#include "transporterror.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QTest>

#include <coroutine>
#include <memory>

using namespace std::chrono_literals;

namespace {

// Holds each report until the test lets it through or fails it.
class Gate
{
public:
    // Reports still held fail, so that no send is left hanging.
    ~Gate() { open(false); }

    QStringList reports;

    ReportProblemView::Sender sender()
    {
        return [this](QString report) -> QCoro::Task<> {
            reports.append(report);
            bool delivered = false;
            co_await Wait{this, &delivered};
            if (!delivered) {
                throw TransportError(QNetworkReply::HostNotFoundError, QStringLiteral("no net"));
            }
        };
    }

    void open(bool delivered)
    {
        for (const auto &[handle, result] : std::exchange(m_waiting, {})) {
            *result = delivered;
            handle.resume();
        }
    }

private:
    struct Wait
    {
        Gate *gate;
        bool *result;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle)
        {
            gate->m_waiting.append({handle, result});
        }
        void await_resume() const noexcept {}
    };

    QList<QPair<std::coroutine_handle<>, bool *>> m_waiting;
};

struct Panel
{
    explicit Panel(ReportProblemView::Sender send)
        : view(std::make_unique<ReportProblemView>(std::move(send), [this] { ++closes; }))
    {
        view->setCloseDelay(50ms);
        view->resize(780, 460);
        view->show();
    }

    NoScrollTextEditor *editor() const { return view->findChild<NoScrollTextEditor *>("editor"); }
    QAbstractButton *send() const { return view->findChild<QAbstractButton *>("send"); }
    QAbstractButton *close() const { return view->findChild<QAbstractButton *>("close"); }
    QLabel *label(const char *name) const { return view->findChild<QLabel *>(name); }
    bool sentLineShown() const { return label("sentLine")->isVisible(); }
    void type(const QString &text) const { editor()->setPlainText(text); }

    int closes = 0;
    std::unique_ptr<ReportProblemView> view;
};

// The alpha of the Send button's capsule, away from its label.
int capsuleAlpha(QAbstractButton *button)
{
    QImage image(button->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    button->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return qAlpha(image.pixel(8, button->height() / 2));
}

void saveScreenshot(QWidget *panel, const QString &name)
{
    // Laid out as it would be before the next paint on screen.
    QCoreApplication::sendPostedEvents();
    panel->layout()->activate();
    const AppTheme::Colors &colors = AppTheme::colors();
    QImage image(panel->size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(colors.window);
    {
        QPainter painter(&image);
        painter.fillRect(QRect(QPoint(), panel->size()), colors.tint);
    }
    panel->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    const QString folder = QCoreApplication::applicationDirPath() + QLatin1String("/screenshots");
    QDir().mkpath(folder);
    QVERIFY(image.save(folder + QLatin1Char('/') + name + QLatin1String(".png")));
}

} // namespace

class TestReportProblemView : public QObject
{
    Q_OBJECT

private slots:
    void reportText_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("build");
        QTest::addColumn<QString>("expected");
        const QString head = QStringLiteral("🐛 Bug Report — Parlora - Quenzal\n\n");
        QTest::newRow("as typed, untrimmed")
            << "  It crashes\n\n"
            << "2.3"
            << "57" << head + "  It crashes\n\n\n\nLinux: Debian 12\nApp: v2.3 (57)";
        QTest::newRow("no build") << "x"
                                  << "2.3"
                                  << "" << head + "x\n\nLinux: Debian 12\nApp: v2.3 (?)";
        QTest::newRow("no version, no build") << "x"
                                              << ""
                                              << "" << head + "x\n\nLinux: Debian 12\nApp: v? (?)";
    }
    void reportText()
    {
        QFETCH(QString, description);
        QFETCH(QString, version);
        QFETCH(QString, build);
        QFETCH(QString, expected);
        QCOMPARE(ProblemReport::text(description, "Linux: Debian 12", version, build), expected);
    }

    // The Bot API takes at most 4096 characters: a longer description is cut, never the lines
    // after it, and never inside a character.
    void longDescriptionIsCut_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<bool>("cut");
        const qsizetype room =
            ProblemReport::maxLength - ProblemReport::text(QString(), "Linux: X", "1", "2").size();
        QTest::newRow("exactly fits") << QString(room, QLatin1Char('a')) << false;
        QTest::newRow("one over") << QString(room + 1, QLatin1Char('a')) << true;
        QTest::newRow("100000 characters") << QString(100000, QLatin1Char('a')) << true;
        QString emoji;
        while (emoji.size() < 5000) {
            emoji += QStringLiteral("🐛");
        }
        QTest::newRow("pairs at the cut") << emoji << true;
        QTest::newRow("pairs at the cut, shifted") << "a" + emoji << true;
    }
    void longDescriptionIsCut()
    {
        QFETCH(QString, description);
        QFETCH(bool, cut);
        const QString text = ProblemReport::text(description, "Linux: X", "1", "2");
        QVERIFY(text.size() <= ProblemReport::maxLength);
        QVERIFY(text.endsWith("\n\nLinux: X\nApp: v1 (2)"));
        QCOMPARE(text.contains(ProblemReport::cutMarker), cut);
        QVERIFY(text.isValidUtf16());
        if (cut) {
            QVERIFY(text.size() >= ProblemReport::maxLength - 1);
        }
    }

    void sendNeedsText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("empty") << "" << false;
        QTest::newRow("spaces and line breaks") << "  \n\n \t " << false;
        QTest::newRow("no-break and ideographic spaces") << QStringLiteral("\u00a0\u3000") << false;
        QTest::newRow("one letter") << "x" << true;
        QTest::newRow("leading spaces") << "   It broke" << true;
    }
    void sendNeedsText()
    {
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        Gate gate;
        Panel panel(gate.sender());
        panel.type(text);
        QCOMPARE(panel.send()->isEnabled(), enabled);
        QCOMPARE(capsuleAlpha(panel.send()) == 255, enabled);
        QVERIFY(qAbs(capsuleAlpha(panel.send()) - (enabled ? 255 : 128)) <= 2);
        QCOMPARE(panel.label("placeholder")->isVisible(), text.isEmpty());
        QTest::mouseClick(panel.send(), Qt::LeftButton);
        QCOMPARE(gate.reports.size(), enabled ? 1 : 0);
    }

    void sendsTheReportAndCloses()
    {
        Gate gate;
        Panel panel(gate.sender());
        panel.view->setCloseDelay(500ms);
        panel.type("  It broke\n");
        QTest::mouseClick(panel.send(), Qt::LeftButton);

        QVERIFY(panel.view->isSending());
        QCOMPARE(panel.send()->text(), "Sending...");
        QVERIFY(!panel.send()->isEnabled());
        QTest::mouseClick(panel.send(), Qt::LeftButton);
        QCOMPARE(gate.reports, QStringList{ProblemReport::text(
                                   "  It broke\n", ProblemReport::systemLine(),
                                   Deployment::version(), Deployment::buildNumber())});

        gate.open(true);
        QTRY_VERIFY(panel.sentLineShown());
        QCOMPARE(panel.label("sentLine")->text(), "Thank you! Report sent.");
        QCOMPARE(panel.send()->text(), "Send");
        QCOMPARE(panel.closes, 0); // not at once: the thanks are read first
        QTRY_COMPARE(panel.closes, 1);
        QTest::qWait(600);
        QCOMPARE(panel.closes, 1);
    }

    void failureKeepsTheText()
    {
        Gate gate;
        Panel panel(gate.sender());
        panel.type("It broke");
        QTest::mouseClick(panel.send(), Qt::LeftButton);
        gate.open(false);

        QTRY_VERIFY(!panel.view->isSending());
        QVERIFY(!panel.view->isSent());
        QVERIFY(!panel.sentLineShown());
        QCOMPARE(panel.send()->text(), "Send");
        QVERIFY(panel.send()->isEnabled());
        QCOMPARE(panel.editor()->text(), "It broke");
        QTest::qWait(150);
        QCOMPARE(panel.closes, 0);

        // And the next try goes out.
        QTest::mouseClick(panel.send(), Qt::LeftButton);
        QCOMPARE(gate.reports.size(), 2);
    }

    void closeWhileSending_data()
    {
        QTest::addColumn<bool>("delivered");
        QTest::newRow("then delivered") << true;
        QTest::newRow("then failed") << false;
    }
    void closeWhileSending()
    {
        QFETCH(bool, delivered);
        Gate gate;
        Panel panel(gate.sender());
        panel.type("It broke");
        QTest::mouseClick(panel.send(), Qt::LeftButton);
        QTest::mouseClick(panel.close(), Qt::LeftButton);
        QTRY_COMPARE(panel.closes, 1);
        panel.view->hide();

        gate.open(delivered);
        QTest::qWait(150);
        // A late success closes once more, which leaves the panel closed.
        QCOMPARE(panel.closes, delivered ? 2 : 1);
    }

    void panelDiscardedWhileSending()
    {
        Gate gate;
        Panel panel(gate.sender());
        panel.type("It broke");
        QTest::mouseClick(panel.send(), Qt::LeftButton);
        panel.view.reset();
        gate.open(true);
        QTest::qWait(150);
        QCOMPARE(panel.closes, 0);
    }

    void notConfigured()
    {
        Panel panel({});
        panel.type("It broke");
        QVERIFY(!panel.send()->isEnabled());
        QCOMPARE(panel.send()->toolTip(), "Problem reports are not configured in this build");
        QVERIFY(!panel.view->canSend());
        TelegramReporter reporter(QUrl("http://127.0.0.1:9"),
                                  []() -> QCoro::Task<QString> { co_return QString(); });
        QCOMPARE(bool(ReportProblemView::deploymentSender(reporter)),
                 !Deployment::reportChatId().isEmpty());
    }

    // Through the real client to a server standing in for the Bot API: only a reply that
    // accepts the message is a sent report; a refusal, a failed exchange or a token not of
    // the Bot API's form is a failure, said in red.
    void sendsThroughTelegram_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<TestHttpServer::Reply>("reply");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<int>("requests");
        const QString token = QStringLiteral("1:abc");
        QTest::newRow("accepted") << token << TestHttpServer::Reply{.body = R"({"ok":true})"}
                                  << true << 1;
        QTest::newRow("400 refusal")
            << token << TestHttpServer::Reply{.status = 400, .body = R"({"ok":true})"} << false
            << 1;
        QTest::newRow("ok false") << token << TestHttpServer::Reply{.body = R"({"ok":false})"}
                                  << false << 1;
        QTest::newRow("no answer") << token << TestHttpServer::Reply{.stall = true} << false << 1;
        QTest::newRow("connection dropped")
            << token << TestHttpServer::Reply{.dropConnection = true} << false << 1;
        QTest::newRow("token with a slash") << "1:a/b" << TestHttpServer::Reply{} << false << 0;
        QTest::newRow("token without the bot's number")
            << "abc" << TestHttpServer::Reply{} << false << 0;
    }
    void sendsThroughTelegram()
    {
        QFETCH(QString, token);
        QFETCH(TestHttpServer::Reply, reply);
        QFETCH(bool, sent);
        QFETCH(int, requests);
        TestHttpServer server;
        server.setDefaultReply(reply);
        TelegramReporter reporter(
            server.url(QString()), [token]() -> QCoro::Task<QString> { co_return token; }, 300ms);
        Panel panel(ReportProblemView::telegramSender(reporter, "-1001234567890", 42));
        const QString text = QStringLiteral("NUL") + QChar(0) + QStringLiteral("here, then 🐛") +
                             QString(100000, QLatin1Char('x'));
        panel.type(text);
        QTest::mouseClick(panel.send(), Qt::LeftButton);
        QTRY_VERIFY(!panel.view->isSending());

        QCOMPARE(panel.view->isSent(), sent);
        QCOMPARE(panel.sentLineShown(), sent);
        QCOMPARE(panel.view->findChild<QLabel *>("failedLine")->isVisible(), !sent);
        QCOMPARE(server.requests().size(), requests);
        QCOMPARE(panel.editor()->text(), text);
        if (requests > 0) {
            const QJsonObject body =
                QJsonDocument::fromJson(server.requests().first().body).object();
            QCOMPARE(body["chat_id"].toString(), "-1001234567890");
            QCOMPARE(body["message_thread_id"].toInteger(), 42);
            QVERIFY(body["text"].toString().startsWith("🐛 Bug Report — Parlora - Quenzal\n\n" +
                                                       text.left(20)));
        }
        QTRY_COMPARE(panel.closes, sent ? 1 : 0);
    }

    void screenshots_data()
    {
        QTest::addColumn<AppTheme::Scheme>("scheme");
        QTest::addColumn<QString>("name");
        QTest::newRow("light") << AppTheme::Scheme::light << "light";
        QTest::newRow("dark") << AppTheme::Scheme::dark << "dark";
    }
    void screenshots()
    {
        QFETCH(AppTheme::Scheme, scheme);
        QFETCH(QString, name);
        AppTheme::apply(scheme);
        Gate gate;
        {
            Panel panel(gate.sender());
            saveScreenshot(panel.view.get(), "report-" + name);
            panel.type("The translation stops after the first sentence when the text has a line "
                       "break in it.\n\nSteps: paste two paragraphs, wait a second.");
            QTest::mouseClick(panel.send(), Qt::LeftButton);
            saveScreenshot(panel.view.get(), "report-sending-" + name);
            gate.open(true);
            QTRY_VERIFY(panel.view->isSent());
            saveScreenshot(panel.view.get(), "report-sent-" + name);
        }
        AppTheme::apply(AppTheme::Scheme::light);
    }
};

// At twice the pixel density, so that the screenshots show the panel as a HiDPI screen does.
int main(int argc, char **argv)
{
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestReportProblemView test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_reportproblemview.moc"
