// The problem-report panel: the report's text and sending, held by the test or
// through the real client to a local server standing in for the Telegram Bot API.
#include "deployment.h"
#include "noscrolltexteditor.h"
#include "panelhost.h"
#include "problemreport.h"
#include "reportproblemview.h"
#include "telegramreporter.h"
#include "testhttpserver.h"
#include "transporterror.h"

#include <QAbstractButton>
#include <QCoro/QCoroSignal>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString head = u"🐛 Bug Report — Parlora - Quenzal\n\n"_s;
const QString tail = u"\n\nLinux: X\nApp: v? (?)"_s; // when the build knows neither

// A panel that sends through `sender`, by default noting each report in `reports` and holding
// it until `gate` opens. An empty sender is that of a build that cannot send reports.
struct Panel
{
    explicit Panel(std::optional<ReportProblemView::Sender> sender = std::nullopt)
        : view(host.show(new ReportProblemView(sender ? *sender : held(), host.closer)))
    {}
    ReportProblemView::Sender held()
    {
        return [this](QString report) -> QCoro::Task<> {
            reports.append(report);
            const bool delivered = co_await qCoro(&gate, &Gate::opened);
            ++gate.passed;
            if (!delivered) {
                throw TransportError(QNetworkReply::HostNotFoundError, u"no net"_s);
            }
        };
    }
    NoScrollTextEditor *editor() const { return view->findChild<NoScrollTextEditor *>("editor"); }
    QAbstractButton *send() const { return view->findChild<QAbstractButton *>("send"); }
    bool shows(const char *line) const { return view->findChild<QLabel *>(line)->isVisible(); }

    Gate gate;
    QStringList reports;
    PanelHost host;
    ReportProblemView *view;
};

} // namespace

class TestReportProblemView : public QObject
{
    Q_OBJECT

private slots:
    // As typed, untrimmed, with "?" for what the build does not know. The Bot API takes at
    // most 4096 characters: a longer description is cut, never the lines after it, and never
    // inside a character.
    void reportText()
    {
        const qsizetype max = ProblemReport::maxLength;
        const QString fits = "  " + QString(max - head.size() - tail.size() - 4, 'a') + "\n\n";
        QCOMPARE(ProblemReport::text(fits, "Linux: X", "", ""), head + fits + tail);
        for (const QString &over : {fits + 'a', u"🐛"_s.repeated(2500)}) {
            const QString text = ProblemReport::text(over, "Linux: X", "", "");
            QVERIFY(text.size() >= max - 1 && text.size() <= max);
            QVERIFY(text.endsWith(ProblemReport::cutMarker + tail));
            QVERIFY(text.isValidUtf16());
        }
    }

    // Send is pressed twice while the report is held, and the panel closed or discarded or
    // left alone; then the report is delivered or not, and Send perhaps pressed again.
    void sending_data()
    {
        QTest::addColumn<QString>("meanwhile"); // "close", "discard" or nothing
        QTest::addColumn<bool>("delivered");
        QTest::addColumn<bool>("sendAgain"); // once the answer is shown
        QTest::addColumn<int>("reports");
        QTest::addColumn<int>("closes");
        QTest::newRow("delivered: thanks, then closed") << u""_s << true << false << 1 << 1;
        QTest::newRow("delivered: Send again sends nothing") << u""_s << true << true << 1 << 1;
        QTest::newRow("failed: the text stays for another try") << u""_s << false << true << 2 << 0;
        QTest::newRow("closed, then delivered") << u"close"_s << true << false << 1 << 2;
        QTest::newRow("discarded, then delivered") << u"discard"_s << true << false << 1 << 0;
    }
    void sending()
    {
        QFETCH(QString, meanwhile);
        QFETCH(bool, delivered);
        QFETCH(bool, sendAgain);
        QFETCH(int, reports);
        QFETCH(int, closes);
        Panel panel;
        QAbstractButton *send = panel.send();
        QVERIFY(panel.shows("placeholder"));
        panel.editor()->setPlainText(u"\n\u00a0\u3000"_s);
        QVERIFY(!send->isEnabled() && !panel.shows("placeholder")); // blanks are no report
        panel.editor()->setPlainText("  It broke\n");
        QTest::mouseClick(send, Qt::LeftButton);
        QVERIFY(send->text() == "Sending..." && !send->isEnabled());
        QTest::mouseClick(send, Qt::LeftButton);
        QVERIFY(
            panel.reports.value(0).contains("\n\n  It broke\n\n\n" + ProblemReport::systemLine()));
        if (meanwhile == "close") {
            QTest::mouseClick(panel.view->findChild<QAbstractButton *>("close"), Qt::LeftButton);
            QTRY_COMPARE(panel.host.closes, 1);
        } else if (meanwhile == "discard") {
            panel.host.discard();
        }

        emit panel.gate.opened(delivered);
        QTRY_COMPARE(panel.gate.passed, 1);
        if (meanwhile.isEmpty()) {
            QCOMPARE(panel.shows("sentLine"), delivered);
            QCOMPARE(panel.shows("failedLine"), !delivered);
            QCOMPARE(send->text(), "Send");
            QCOMPARE(panel.editor()->text(), "  It broke\n");
            QCOMPARE(panel.host.closes, 0); // not at once: the thanks are read first
        }
        if (sendAgain) {
            QTest::mouseClick(send, Qt::LeftButton);
            emit panel.gate.opened(false);
            QTRY_COMPARE(panel.gate.passed, panel.reports.size());
        }
        QCOMPARE(panel.reports.size(), reports);
        QTRY_COMPARE_WITH_TIMEOUT(panel.host.closes, closes, 20000);
    }

    // Through the real client to a local server.
    void sendsThroughTelegram()
    {
        TestHttpServer server;
        server.setDefaultReply({.body = R"({"ok":true})"});
        TelegramReporter reporter(
            server.url(QString()), []() -> QCoro::Task<QString> { co_return u"1:abc"_s; }, 300ms);
        Panel panel(ReportProblemView::telegramSender(reporter, "-1001234567890", 42));
        const QString text = u"NUL"_s + QChar(0) + u"here, then 🐛"_s + QString(100000, 'x');
        panel.editor()->setPlainText(text);
        QTest::mouseClick(panel.send(), Qt::LeftButton);
        QTRY_VERIFY(!panel.view->isSending());
        QVERIFY(panel.view->isSent());
        QCOMPARE(server.requests().size(), 1);
        const QJsonObject body = QJsonDocument::fromJson(server.requests().first().body).object();
        QCOMPARE(body["chat_id"].toString(), "-1001234567890");
        QCOMPARE(body["message_thread_id"].toInteger(), 42);
        QVERIFY(body["text"].toString().startsWith(head + text.left(20)));
        // Only a build with a chat to send to has a sender; without one Send says why it is off.
        QCOMPARE(bool(ReportProblemView::deploymentSender(reporter)),
                 !Deployment::reportChatId().isEmpty());
        Panel unconfigured(ReportProblemView::Sender{});
        unconfigured.editor()->setPlainText("It broke");
        QVERIFY(!unconfigured.send()->isEnabled() && !unconfigured.send()->toolTip().isEmpty());
    }
};

QTEST_MAIN(TestReportProblemView)
#include "tst_reportproblemview.moc"
