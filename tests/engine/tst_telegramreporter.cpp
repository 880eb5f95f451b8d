// The Bot API sendMessage client against a real HTTP server on 127.0.0.1.
#include "telegramreporter.h"
#include "testhttpserver.h"
#include "transporterror.h"
#include "waitfortask.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace std::chrono_literals;

namespace {

const QString token = QStringLiteral("123456:ABC-def_Ghi");
const QString chatId = QStringLiteral("-1001234567890");

struct Outcome
{
    std::optional<TelegramReporter::Reply> reply;
    QString failure; // "transport" or "token" when there is no reply
    int code = -1;   // QNetworkReply::NetworkError of a transport failure
};

Outcome send(TelegramReporter &reporter, const QString &text = QStringLiteral("It broke"),
             std::optional<qint64> threadId = 123)
{
    Outcome outcome;
    try {
        outcome.reply = waitForTask(reporter.sendMessage(chatId, threadId, text));
    } catch (const TransportError &error) {
        outcome.failure = QStringLiteral("transport");
        outcome.code = error.code();
    } catch (const TelegramReporter::UnusableToken &) {
        outcome.failure = QStringLiteral("token");
    }
    return outcome;
}

TelegramReporter::TokenProvider fixedToken(const QString &value)
{
    return [value]() -> QCoro::Task<QString> { co_return value; };
}

TestHttpServer::Reply reply(int status, QByteArray body)
{
    TestHttpServer::Reply result;
    result.status = status;
    result.body = std::move(body);
    return result;
}

} // namespace

class TestTelegramReporter : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_server = std::make_unique<TestHttpServer>();
        m_server->setDefaultReply(reply(200, R"({"ok":true,"result":{"message_id":7}})"));
        m_reporter =
            std::make_unique<TelegramReporter>(m_server->url(QString()), fixedToken(token), 10s);
    }

    void sendsOneExactRequest()
    {
        const Outcome outcome = send(*m_reporter, QStringLiteral("  Leading spaces stay\n"));
        QVERIFY(outcome.reply);
        QCOMPARE(m_server->requests().size(), 1);
        const TestHttpServer::Request &request = m_server->requests().first();
        QCOMPARE(request.method, "POST");
        QCOMPARE(request.target, "/bot123456:ABC-def_Ghi/sendMessage");
        QCOMPARE(request.headerCount("Content-Type"), 1);
        QCOMPARE(request.header("Content-Type"), "application/json");

        // Compact, exactly three members, each of its own JSON type.
        QVERIFY(!request.body.contains('\n'));
        QVERIFY(!request.body.contains(": "));
        QVERIFY(request.body.contains("\"message_thread_id\":123"));
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        QCOMPARE(body.keys(), (QStringList{"chat_id", "message_thread_id", "text"}));
        QCOMPARE(body["chat_id"].type(), QJsonValue::String);
        QCOMPARE(body["chat_id"].toString(), chatId);
        QCOMPARE(body["message_thread_id"].type(), QJsonValue::Double);
        QCOMPARE(body["message_thread_id"].toInteger(), 123);
        QCOMPARE(body["text"].toString(), "  Leading spaces stay\n");
    }

    void noTopicLeavesTheMemberOut()
    {
        QVERIFY(send(*m_reporter, QStringLiteral("x"), std::nullopt).reply);
        const QJsonObject body =
            QJsonDocument::fromJson(m_server->requests().first().body).object();
        QCOMPARE(body.keys(), (QStringList{"chat_id", "text"}));
    }

    void basePathIsKept_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("target");
        QTest::newRow("no path") << "" << QByteArray("/bot123456:ABC-def_Ghi/sendMessage");
        QTest::newRow("slash") << "/" << QByteArray("/bot123456:ABC-def_Ghi/sendMessage");
        QTest::newRow("relay path")
            << "/relay/telegram/"
            << QByteArray("/relay/telegram/bot123456:ABC-def_Ghi/sendMessage");
    }
    void basePathIsKept()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, target);
        TelegramReporter reporter(m_server->url(path), fixedToken(token), 10s);
        QVERIFY(send(reporter).reply);
        QCOMPARE(m_server->requests().first().target, target);
    }

    // The text travels whole and unchanged, whatever characters it holds.
    void textSurvivesJson_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("received");
        const QString controls =
            QStringLiteral("a") + QChar(0) + QStringLiteral("b\x01\x1f\x7f\t\r\n\"\\/");
        QTest::newRow("NUL and controls") << controls << controls;
        QTest::newRow("emoji and RTL")
            << QStringLiteral("🐛 — שלום مرحبا 文字") << QStringLiteral("🐛 — שלום مرحبا 文字");
        QTest::newRow("100000 characters")
            << QString(100000, QLatin1Char('x')) << QString(100000, QLatin1Char('x'));
        const QString lone = QStringLiteral("a") + QChar(0xd83d) + QStringLiteral("b");
        QTest::newRow("unpaired surrogate") << lone << QStringLiteral("a\uFFFDb");
    }
    void textSurvivesJson()
    {
        QFETCH(QString, text);
        QFETCH(QString, received);
        QVERIFY(send(*m_reporter, text).reply);
        const QByteArray body = m_server->requests().first().body;
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(body, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(document.object()["text"].toString(), received);
        QVERIFY(!body.contains('\0'));
    }

    // Every reply completes the call; only the Bot API's "ok" in a 2xx reply is acceptance.
    void anyReplyCompletes_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("ok") << 200 << QByteArray(R"({"ok":true,"result":{}})") << true;
        QTest::newRow("ok false") << 200
                                  << QByteArray(R"({"ok":false,"description":"chat not found"})")
                                  << false;
        QTest::newRow("400 refused")
            << 400 << QByteArray(R"({"ok":false,"error_code":400,"description":"Bad Request"})")
            << false;
        QTest::newRow("500") << 500 << QByteArray() << false;
        QTest::newRow("302 not followed") << 302 << QByteArray() << false;
        QTest::newRow("not JSON") << 200 << QByteArray("ok") << false;
        QTest::newRow("huge body")
            << 200 << QByteArray(TelegramReporter::maxReplySize + 10, ' ') + "{\"ok\":true}"
            << false;
    }
    void anyReplyCompletes()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, accepted);
        m_server->enqueue(reply(status, body));
        const Outcome outcome = send(*m_reporter);
        QVERIFY2(outcome.reply, qPrintable(outcome.failure));
        QCOMPARE(outcome.reply->status, status);
        QCOMPARE(outcome.reply->accepted, accepted);
        QCOMPARE(m_server->requests().size(), 1);
    }

    void transportFailures_data()
    {
        QTest::addColumn<int>("kind"); // 0 refused, 1 dropped, 2 stalled
        QTest::addColumn<int>("code");
        QTest::newRow("connection refused") << 0 << int(QNetworkReply::ConnectionRefusedError);
        QTest::newRow("connection dropped") << 1 << int(QNetworkReply::RemoteHostClosedError);
        QTest::newRow("never answers") << 2 << int(QNetworkReply::TimeoutError);
    }
    void transportFailures()
    {
        QFETCH(int, kind);
        QFETCH(int, code);
        TestHttpServer::Reply failing;
        failing.dropConnection = kind == 1;
        failing.stall = kind == 2;
        // Every request gets it: Qt sends once more when a kept-alive connection closes
        // unanswered.
        m_server->setDefaultReply(failing);
        if (kind == 0) {
            m_server->close();
        }
        TelegramReporter reporter(m_server->url(QString()), fixedToken(token), 300ms);
        const Outcome outcome = send(reporter);
        QCOMPARE(outcome.failure, "transport");
        QCOMPARE(outcome.code, code);
    }

    void unusableTokenSendsNothing_data()
    {
        QTest::addColumn<QString>("token");
        QTest::newRow("empty") << "";
        QTest::newRow("slash") << "123:abc/../../evil";
        QTest::newRow("question mark") << "123:abc?x=1";
        QTest::newRow("hash") << "123:abc#frag";
        QTest::newRow("space") << "123:abc def";
        QTest::newRow("percent") << "123:abc%2F";
        QTest::newRow("line break") << "123:abc\r\nHost: evil";
        QTest::newRow("non-ASCII") << QStringLiteral("123:äbc");
        QTest::newRow("no bot number") << "abc:def";
        QTest::newRow("no colon") << "123456";
        QTest::newRow("dot") << "123:abc.def";
    }
    void unusableTokenSendsNothing()
    {
        QFETCH(QString, token);
        QVERIFY(!TelegramReporter::isUsableToken(token));
        TelegramReporter reporter(m_server->url(QString()), fixedToken(token), 10s);
        QCOMPARE(send(reporter).failure, "token");
        QCOMPARE(m_server->connectionCount(), 0);
    }

    void unusableBase_data()
    {
        QTest::addColumn<QUrl>("base");
        QTest::newRow("empty") << QUrl();
        QTest::newRow("no host") << QUrl("https://");
        QTest::newRow("other scheme") << QUrl("ftp://api.telegram.org");
    }
    void unusableBase()
    {
        QFETCH(QUrl, base);
        QVERIFY(!TelegramReporter::methodUrl(base, token, "sendMessage"));
    }

private:
    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<TelegramReporter> m_reporter;
};

QTEST_GUILESS_MAIN(TestTelegramReporter)
#include "tst_telegramreporter.moc"
