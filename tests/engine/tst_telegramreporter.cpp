// The Bot API sendMessage client against a real HTTP server on 127.0.0.1.
#include "telegramreporter.h"
#include "testhttpserver.h"
#include "transporterror.h"
#include "waitfortask.h"

#include <QTest>

using namespace std::chrono_literals;
using Reply = TestHttpServer::Reply;

namespace {

const QString token = QStringLiteral("123456:ABC-def_Ghi");

// The reply's status, " accepted" if the Bot API took it, or what was thrown.
QString send(const QUrl &base, const QString &token, std::optional<qint64> thread = 123,
             const QString &text = QStringLiteral("It broke"),
             std::chrono::milliseconds limit = 10s)
{
    TelegramReporter reporter(
        base, [token]() -> QCoro::Task<QString> { co_return token; }, limit);
    try {
        const auto reply = waitForTask(reporter.sendMessage("-1001234567890", thread, text));
        return QString::number(reply.status) + (reply.accepted ? " accepted" : "");
    } catch (const TransportError &error) {
        return QStringLiteral("transport error %1").arg(error.code());
    } catch (const TelegramReporter::UnusableToken &) {
        return QStringLiteral("unusable token");
    }
}

} // namespace

class TestTelegramReporter : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_server = std::make_unique<TestHttpServer>();
        m_server->setDefaultReply({.body = R"({"ok":true,"result":{"message_id":7}})"});
    }

    // Under the base's path; text whole, what has no UTF-8 form replaced.
    void sendsExactRequests()
    {
        QCOMPARE(send(m_server->url(QString()), token, 123, " It\tbroke"), "200 accepted");
        QCOMPARE(send(m_server->url("/relay/telegram/"), token, std::nullopt,
                      QStringLiteral("a") + QChar(0xd83d) + "b"),
                 "200 accepted");
        QByteArrayList sent;
        for (const TestHttpServer::Request &request : m_server->requests()) {
            QCOMPARE(request.header("Content-Type"), "application/json");
            sent.append(request.method + ' ' + request.target + ' ' + request.body);
        }
        QCOMPARE(sent,
                 (QByteArrayList{
                     "POST /bot123456:ABC-def_Ghi/sendMessage {\"chat_id\":\"-1001234567890\","
                     "\"message_thread_id\":123,\"text\":\" It\\tbroke\"}",
                     "POST /relay/telegram/bot123456:ABC-def_Ghi/sendMessage "
                     "{\"chat_id\":\"-1001234567890\",\"text\":\"a\xef\xbf\xbd"
                     "b\"}"}));
    }

    // Every reply completes the call; only "ok" in a 2xx reply is acceptance.
    void replies_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("outcome");
        const QByteArray ok = R"({"ok":true})";
        QTest::newRow("ok false") << Reply{.body = R"({"ok":false})"} << "200";
        QTest::newRow("400") << Reply{.status = 400, .body = ok} << "400";
        QTest::newRow("huge") << Reply{.body = QByteArray(TelegramReporter::maxReplySize, ' ') + ok}
                              << "200";
        QTest::newRow("never answers") << Reply{.stall = true} << "transport error 4";
    }
    void replies()
    {
        QFETCH(Reply, reply);
        QFETCH(QString, outcome);
        m_server->setDefaultReply(reply);
        QCOMPARE(send(m_server->url(QString()), token, 123, "x", 300ms), outcome);
    }

    // Only a token of the Bot API's form, under an http(s) base, goes into a URL.
    void nothingSentForAnUnusableAddress()
    {
        const QString unusable = "unusable token";
        QCOMPARE(send(m_server->url(QString()), "123:abc\r\nHost: evil"), unusable);
        QCOMPARE(send(QUrl("http://"), token), unusable);
        QCOMPARE(send(QUrl("ftp://127.0.0.1"), token), unusable);
        QCOMPARE(m_server->connectionCount(), 0);
    }

private:
    std::unique_ptr<TestHttpServer> m_server;
};

QTEST_GUILESS_MAIN(TestTelegramReporter)
#include "tst_telegramreporter.moc"
