// The problem-report panel: the report's text, what Send needs, and sending, held by the test or
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

// Holds each report, after noting it in `reports`, until `gate` opens.
ReportProblemView::Sender heldBy(Gate &gate, QStringList &reports)
{
    return [&gate, &reports](QString report) -> QCoro::Task<> {
        reports.append(report);
        const bool delivered = co_await qCoro(&gate, &Gate::opened);
        ++gate.passed;
        if (!delivered) {
            throw TransportError(QNetworkReply::HostNotFoundError, QStringLiteral("no net"));
        }
    };
}

QAbstractButton *sendButton(QWidget *view)
{
    return view->findChild<QAbstractButton *>("send");
}

bool shows(QWidget *view, const char *line)
{
    return view->findChild<QLabel *>(line)->isVisible();
}

NoScrollTextEditor *editor(QWidget *view)
{
    return view->findChild<NoScrollTextEditor *>("editor");
}

} // namespace

class TestReportProblemView : public QObject
{
    Q_OBJECT

private slots:
    // As typed, untrimmed, with "?" for what the build does not know. The Bot API takes at
    // most 4096 characters: a longer description is cut, never the lines after it, and never
    // inside a character.
    void reportText_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QStringList>("versionAndBuild");
        QTest::addColumn<QString>("end"); // after the head; empty: cut to fit
        const QString tail = u"\n\nLinux: X\nApp: v2.3 (57)"_s;
        const QStringList known{"2.3", "57"};
        const QString fits(ProblemReport::maxLength - head.size() - tail.size(), 'a');
        QTest::newRow("as typed") << u"  It crashes\n\n"_s << known << "  It crashes\n\n" + tail;
        QTest::newRow("no build") << u"x"_s << QStringList{"2.3", ""}
                                  << u"x\n\nLinux: X\nApp: v2.3 (?)"_s;
        QTest::newRow("neither") << u"x"_s << QStringList{"", ""}
                                 << u"x\n\nLinux: X\nApp: v? (?)"_s;
        QTest::newRow("exactly fits") << fits << known << fits + tail;
        QTest::newRow("one over") << fits + 'a' << known << QString();
        QTest::newRow("pairs at the cut") << u"🐛"_s.repeated(2500) << known << QString();
        QTest::newRow("pairs at the cut, shifted")
            << "a" + u"🐛"_s.repeated(2500) << known << QString();
    }
    void reportText()
    {
        QFETCH(QString, description);
        QFETCH(QStringList, versionAndBuild);
        QFETCH(QString, end);
        const QString text =
            ProblemReport::text(description, "Linux: X", versionAndBuild[0], versionAndBuild[1]);
        if (!end.isEmpty()) {
            QCOMPARE(text, head + end);
            return;
        }
        QVERIFY(text.size() <= ProblemReport::maxLength);
        QVERIFY(text.size() >= ProblemReport::maxLength - 1);
        QVERIFY(text.endsWith("\n\nLinux: X\nApp: v2.3 (57)"));
        QVERIFY(text.contains(ProblemReport::cutMarker));
        QVERIFY(text.isValidUtf16());
    }

    void sendNeedsText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("configured"); // this build can send reports
        QTest::newRow("empty") << u""_s << true;
        QTest::newRow("line break, no-break and ideographic spaces") << u"\n\u00a0\u3000"_s << true;
        QTest::newRow("one letter") << u"x"_s << true;
        QTest::newRow("not configured") << u"It broke"_s << false;
    }
    void sendNeedsText()
    {
        QFETCH(QString, text);
        QFETCH(bool, configured);
        const bool enabled = configured && !text.trimmed().isEmpty();
        Gate gate;
        QStringList reports;
        PanelHost host;
        auto *view = host.show(new ReportProblemView(
            configured ? heldBy(gate, reports) : ReportProblemView::Sender(), host.closer()));
        editor(view)->setPlainText(text);
        QCOMPARE(sendButton(view)->isEnabled(), enabled);
        QCOMPARE(shows(view, "placeholder"), text.isEmpty());
        QCOMPARE(sendButton(view)->toolTip(),
                 configured ? QString() : u"Problem reports are not configured in this build"_s);
        QTest::mouseClick(sendButton(view), Qt::LeftButton);
        QCOMPARE(reports.size(), enabled ? 1 : 0);
        emit gate.opened(false);
        QTRY_COMPARE(gate.passed, reports.size());
    }

    // While a report is held the panel is left alone, closed or discarded; then the report is
    // delivered or not.
    void sending_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<bool>("delivered");
        QTest::addColumn<int>("closes");
        QTest::newRow("delivered: thanks, then closed") << u""_s << true << 1;
        QTest::newRow("failed: the text stays for another try") << u""_s << false << 0;
        // A late success closes once more, which leaves the panel closed.
        QTest::newRow("closed, then delivered") << u"close"_s << true << 2;
        QTest::newRow("closed, then failed") << u"close"_s << false << 1;
        QTest::newRow("discarded, then delivered") << u"discard"_s << true << 0;
    }
    void sending()
    {
        QFETCH(QString, meanwhile);
        QFETCH(bool, delivered);
        QFETCH(int, closes);
        Gate gate;
        QStringList reports;
        PanelHost host;
        auto *view = host.show(new ReportProblemView(heldBy(gate, reports), host.closer()));
        QAbstractButton *send = sendButton(view);
        editor(view)->setPlainText("  It broke\n");
        QTest::mouseClick(send, Qt::LeftButton);
        QCOMPARE(send->text(), "Sending...");
        QVERIFY(!send->isEnabled());
        QTest::mouseClick(send, Qt::LeftButton);
        QCOMPARE(reports, QStringList{ProblemReport::text(
                              "  It broke\n", ProblemReport::systemLine(), Deployment::version(),
                              Deployment::buildNumber())});
        if (meanwhile == "close") {
            QTest::mouseClick(view->findChild<QAbstractButton *>("close"), Qt::LeftButton);
            QTRY_COMPARE(host.closes, 1);
        } else if (meanwhile == "discard") {
            host.discard();
        }

        emit gate.opened(delivered);
        QTRY_COMPARE(gate.passed, 1);
        if (meanwhile.isEmpty()) {
            QCOMPARE(shows(view, "sentLine"), delivered);
            QCOMPARE(shows(view, "failedLine"), !delivered);
            QCOMPARE(send->text(), "Send");
            QCOMPARE(host.closes, 0); // not at once: the thanks are read first
        }
        if (meanwhile.isEmpty() && !delivered) {
            QCOMPARE(editor(view)->text(), "  It broke\n");
            QTest::mouseClick(send, Qt::LeftButton);
            QCOMPARE(reports.size(), 2);
            emit gate.opened(false);
            QTRY_COMPARE(gate.passed, 2);
        }
        QTRY_COMPARE_WITH_TIMEOUT(host.closes, closes, 20000);
    }

    // Through the real client to a local server: only a reply that accepts the message is a
    // sent report; a refusal, a failed exchange or a token not of the Bot API's form is a
    // failure, said in red, the text kept.
    void sendsThroughTelegram_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<TestHttpServer::Reply>("reply");
        QTest::addColumn<bool>("sent");
        using Reply = TestHttpServer::Reply;
        const QString token = QStringLiteral("1:abc");
        QTest::newRow("accepted") << token << Reply{.body = R"({"ok":true})"} << true;
        QTest::newRow("400, though ok")
            << token << Reply{.status = 400, .body = R"({"ok":true})"} << false;
        QTest::newRow("connection dropped") << token << Reply{.dropConnection = true} << false;
        QTest::newRow("token with a slash: nothing sent") << "1:a/b" << Reply{} << false;
    }
    void sendsThroughTelegram()
    {
        QFETCH(QString, token);
        QFETCH(TestHttpServer::Reply, reply);
        QFETCH(bool, sent);
        const int requests = token.contains('/') ? 0 : 1;
        TestHttpServer server;
        server.setDefaultReply(reply);
        TelegramReporter reporter(
            server.url(QString()), [token]() -> QCoro::Task<QString> { co_return token; }, 300ms);
        PanelHost host;
        auto *view = host.show(new ReportProblemView(
            ReportProblemView::telegramSender(reporter, "-1001234567890", 42), host.closer()));
        const QString text = QStringLiteral("NUL") + QChar(0) + QStringLiteral("here, then 🐛") +
                             QString(100000, 'x');
        editor(view)->setPlainText(text);
        QTest::mouseClick(sendButton(view), Qt::LeftButton);
        QTRY_VERIFY(!view->isSending());

        QCOMPARE(view->isSent(), sent);
        QCOMPARE(shows(view, "sentLine"), sent);
        QCOMPARE(shows(view, "failedLine"), !sent);
        QCOMPARE(editor(view)->text(), text);
        QCOMPARE(server.requests().size(), requests);
        if (requests > 0) {
            const QJsonObject body =
                QJsonDocument::fromJson(server.requests().first().body).object();
            QCOMPARE(body["chat_id"].toString(), "-1001234567890");
            QCOMPARE(body["message_thread_id"].toInteger(), 42);
            QVERIFY(body["text"].toString().startsWith(head + text.left(20)));
        }
        QTRY_COMPARE_WITH_TIMEOUT(host.closes, sent ? 1 : 0, 20000);
        // Only a build with a chat to send to has a sender.
        QCOMPARE(bool(ReportProblemView::deploymentSender(reporter)),
                 !Deployment::reportChatId().isEmpty());
    }
};

QTEST_MAIN(TestReportProblemView)
#include "tst_reportproblemview.moc"
