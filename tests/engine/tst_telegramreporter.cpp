// The Bot API sendMessage client against a real HTTP server on 127.0.0.1.
#include "telegramreporter.h"
#include "testhttpserver.h"
#include "transporterror.h"
#include "waitfortask.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {

const QString token = QStringLiteral("123456:ABC-def_Ghi");

// The reply's status, "accepted" when the Bot API took the message, or what was thrown.
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

    // Compact JSON, each member of its own JSON type, to the base's own path; the text goes
    // whole, what has no UTF-8 form aside.
    void sendsExactRequests_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("thread"); // 0: no topic
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("request"); // target, then body
        QTest::newRow("no path, a topic")
            << "" << qint64(123) << " It\tbroke"
            << QByteArray("/bot123456:ABC-def_Ghi/sendMessage {\"chat_id\":\"-1001234567890\","
                          "\"message_thread_id\":123,\"text\":\" It\\tbroke\"}");
        QTest::newRow("relay path, no topic, unpaired surrogate")
            << "/relay/telegram/" << qint64(0) << QStringLiteral("a") + QChar(0xd83d) + "b"
            << QByteArray("/relay/telegram/bot123456:ABC-def_Ghi/sendMessage "
                          "{\"chat_id\":\"-1001234567890\",\"text\":\"a\xef\xbf\xbd"
                          "b\"}");
    }
    void sendsExactRequests()
    {
        QFETCH(QString, path);
        QFETCH(qint64, thread);
        QFETCH(QString, text);
        QFETCH(QByteArray, request);
        QCOMPARE(
            send(m_server->url(path), token, thread ? std::optional(thread) : std::nullopt, text),
            "200 accepted");
        QCOMPARE(m_server->requests().size(), 1);
        const TestHttpServer::Request &sent = m_server->requests().first();
        QCOMPARE(sent.method, "POST");
        QCOMPARE(sent.headerCount("Content-Type"), 1);
        QCOMPARE(sent.header("Content-Type"), "application/json");
        QCOMPARE(sent.target + ' ' + sent.body, request);
    }

    // Every reply completes the call; only the Bot API's "ok" in a 2xx reply is acceptance.
    void replies_data()
    {
        QTest::addColumn<TestHttpServer::Reply>("reply");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("ok") << TestHttpServer::Reply{.body = R"({"ok":true})"} << "200 accepted";
        QTest::newRow("ok false") << TestHttpServer::Reply{.body = R"({"ok":false})"} << "200";
        QTest::newRow("400 refused")
            << TestHttpServer::Reply{.status = 400, .body = R"({"ok":false,"error_code":400})"}
            << "400";
        QTest::newRow("not JSON") << TestHttpServer::Reply{.body = "ok"} << "200";
        QTest::newRow("huge body")
            << TestHttpServer::Reply{.body = QByteArray(TelegramReporter::maxReplySize, ' ') +
                                             R"({"ok":true})"}
            << "200";
        // Every request gets these: Qt sends once more when a kept-alive connection closes
        // unanswered.
        QTest::newRow("connection dropped") << TestHttpServer::Reply{.dropConnection = true}
                                            << "transport error 2"; // RemoteHostClosedError
        QTest::newRow("never answers")
            << TestHttpServer::Reply{.stall = true} << "transport error 4"; // TimeoutError
    }
    void replies()
    {
        QFETCH(TestHttpServer::Reply, reply);
        QFETCH(QString, outcome);
        m_server->setDefaultReply(reply);
        QCOMPARE(send(m_server->url(QString()), token, 123, "x", 300ms), outcome);
    }

    // Nothing goes into a URL unless it has the Bot API's form, under an http(s) base.
    void nothingSentForAnUnusableAddress_data()
    {
        QTest::addColumn<QString>("base"); // empty: the local server
        QTest::addColumn<QString>("token");
        const QString server;
        QTest::newRow("empty token") << server << "";
        QTest::newRow("slash") << server << "123:abc/../../evil";
        QTest::newRow("line break") << server << "123:abc\r\nHost: evil";
        QTest::newRow("base without host") << "http://" << token;
        QTest::newRow("base of another scheme") << "ftp://127.0.0.1" << token;
    }
    void nothingSentForAnUnusableAddress()
    {
        QFETCH(QString, base);
        QFETCH(QString, token);
        QCOMPARE(send(base.isEmpty() ? m_server->url(QString()) : QUrl(base), token),
                 "unusable token");
        QCOMPARE(m_server->connectionCount(), 0);
    }

private:
    std::unique_ptr<TestHttpServer> m_server;
};

QTEST_GUILESS_MAIN(TestTelegramReporter)
#include "tst_telegramreporter.moc"
