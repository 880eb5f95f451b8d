// The DeepSeek client against a real HTTP server on 127.0.0.1.
#include "deepseekerror.h"
#include "deepseekservice.h"
#include "endlesshttpserver.h"
#include "testhttpserver.h"
#include "transporterror.h"
#include "waitfortask.h"

#include <QCoro/QCoroTask>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

namespace {

struct Outcome
{
    QString text;
    QString error;     // the error's description
    QString errorType; // "DeepSeekError", "TransportError" or empty
    int code = -1;     // DeepSeekError::Code or QNetworkReply::NetworkError
};

Outcome translate(DeepSeekService &service, const QString &text = QStringLiteral("Hello"),
                  TranslationStyle style = TranslationStyle::standard)
{
    Outcome outcome;
    try {
        outcome.text = waitForTask(service.translate(text, "en", "de", style));
    } catch (const DeepSeekError &error) {
        outcome = {{}, error.description(), QStringLiteral("DeepSeekError"), error.code()};
    } catch (const TransportError &error) {
        outcome = {{}, error.description(), QStringLiteral("TransportError"), error.code()};
    }
    return outcome;
}

DeepSeekService::ApiKeyProvider fixedKey(const QString &key)
{
    return [key]() -> QCoro::Task<QString> { co_return key; };
}

QByteArray nested(int depth)
{
    return QByteArray(depth, '[') + QByteArray(depth, ']');
}

} // namespace

class TestDeepSeekService : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_server = std::make_unique<TestHttpServer>();
        m_service = std::make_unique<DeepSeekService>(m_server->url(), fixedKey("sk-test"));
    }

    void sendsOneExactRequest_data()
    {
        QTest::addColumn<TranslationStyle>("style");
        for (TranslationStyle style : TranslationStyle::allCases()) {
            QTest::newRow(qPrintable(style.rawValue())) << style;
        }
    }
    void sendsOneExactRequest()
    {
        QFETCH(TranslationStyle, style);
        QCOMPARE(translate(*m_service, "Guten Morgen, Welt", style).text, "Hallo");
        QCOMPARE(m_server->requests().size(), 1);
        const TestHttpServer::Request &request = m_server->requests().first();
        QCOMPARE(request.method, "POST");
        QCOMPARE(request.target, "/chat/completions");
        QCOMPARE(request.header("Content-Type"), "application/json");
        QCOMPARE(request.headerCount("Authorization"), 1);
        QCOMPARE(request.header("Authorization"), "Bearer sk-test");

        // Compact JSON with exactly five members of the right JSON types.
        QVERIFY(request.body.startsWith("{\"max_tokens\":1024,\"messages\":[{"));
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        QCOMPARE(body.keys(),
                 (QStringList{"max_tokens", "messages", "model", "stream", "temperature"}));
        QCOMPARE(body["model"].toString(), "deepseek-chat");
        QCOMPARE(body["temperature"].type(), QJsonValue::Double);
        QCOMPARE(body["temperature"].toDouble(), 0.3);
        QCOMPARE(body["stream"], QJsonValue(false));
        const QJsonArray messages = body["messages"].toArray();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages[0].toObject(),
                 (QJsonObject{{"role", "system"}, {"content", style.systemPrompt("en", "de")}}));
        QCOMPARE(messages[1].toObject(),
                 (QJsonObject{{"role", "user"}, {"content", "Guten Morgen, Welt"}}));
    }

    void keyIsFetchedForEveryRequest()
    {
        int fetches = 0;
        DeepSeekService service(m_server->url(), [&fetches]() -> QCoro::Task<QString> {
            co_return QStringLiteral("key-%1").arg(++fetches);
        });
        translate(service);
        translate(service);
        QCOMPARE(m_server->requests().at(0).header("Authorization"), "Bearer key-1");
        QCOMPARE(m_server->requests().at(1).header("Authorization"), "Bearer key-2");
    }

    void unsendableKeySendsNothing_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("header injection") << "sk-1\r\nX-Injected: yes";
        QTest::newRow("trailing newline") << "sk-1\n";
        QTest::newRow("tab") << "sk\t1";
        QTest::newRow("control character") << QStringLiteral("sk-\x01");
        QTest::newRow("non-ASCII") << QStringLiteral("sk-ключ");
        QTest::newRow("inner space") << "sk 1";
    }
    void unsendableKeySendsNothing()
    {
        QFETCH(QString, key);
        DeepSeekService service(m_server->url(), fixedKey(key));
        const Outcome outcome = translate(service);
        QCOMPARE(outcome.code, int(DeepSeekError::invalidApiKey));
        QCOMPARE(outcome.errorType, "DeepSeekError");
        QVERIFY(m_server->requests().isEmpty());
        QCOMPARE(m_server->connectionCount(), 0);
    }

    void replies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("error"); // DeepSeekError::Code, -1 for success

        const int none = -1;
        QTest::newRow("500 with a valid answer")
            << 500 << TestHttpServer::completion("Hallo") << "" << 0;
        QTest::newRow("302 without location") << 302 << QByteArray() << "" << 0;
        QTest::newRow("extra members, padded content")
            << 200
            << QByteArray(
                   R"({"choices":[{"message":{"role":"assistant","content":"  Hallo\n","x":1}}]})")
            << "Hallo" << none;
        QTest::newRow("two choices: first wins")
            << 200
            << QByteArray(R"({"choices":[{"message":{"content":"Eins"}},)"
                          R"({"message":{"content":"Zwei"}}]})")
            << "Eins" << none;
        QTest::newRow("escaped unicode") << 200
                                         << QByteArray(R"({"choices":[{"message":{"content":)"
                                                       R"("\u00c4pfel \ud83c\udf4e"}}]})")
                                         << QStringLiteral("Äpfel 🍎") << none;
        const int invalid = DeepSeekError::invalidResponse;
        QTest::newRow("not JSON") << 200 << QByteArray("Hallo") << "" << invalid;
        QTest::newRow("top-level array") << 200 << QByteArray("[]") << "" << invalid;
        QTest::newRow("error object")
            << 200 << QByteArray(R"({"error":{"message":"quota"}})") << "" << invalid;
        QTest::newRow("empty choices") << 200 << QByteArray(R"({"choices":[]})") << "" << invalid;
        QTest::newRow("choices object")
            << 200 << QByteArray(R"({"choices":{"message":{"content":"Hallo"}}})") << "" << invalid;
        QTest::newRow("choice is a string")
            << 200 << QByteArray(R"({"choices":["Hallo"]})") << "" << invalid;
        QTest::newRow("no message")
            << 200 << QByteArray(R"({"choices":[{"text":"Hallo"}]})") << "" << invalid;
        QTest::newRow("content number")
            << 200 << QByteArray(R"({"choices":[{"message":{"content":42}}]})") << "" << invalid;
        QTest::newRow("truncated")
            << 200 << TestHttpServer::completion("Hallo").chopped(3) << "" << invalid;
        QTest::newRow("invalid UTF-8")
            << 200 << QByteArray("{\"choices\":[{\"message\":{\"content\":\"Hal\xff\xfelo\"}}]}")
            << "" << invalid;
        QTest::newRow("deeply nested") << 200 << nested(100000) << "" << invalid;
        QTest::newRow("huge body")
            << 200
            << TestHttpServer::completion(QString(DeepSeekService::maxReplySize, QLatin1Char('a')))
            << "" << invalid;
        QTest::newRow("whitespace content")
            << 200 << TestHttpServer::completion(QStringLiteral(" \n\t\u3000 ")) << ""
            << int(DeepSeekError::emptyResult);
    }
    void replies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        QFETCH(int, error);
        m_server->enqueue({.status = status, .body = body});
        const Outcome outcome = translate(*m_service);
        QCOMPARE(outcome.text, text);
        QCOMPARE(outcome.code, error);
        QCOMPARE(outcome.errorType, error < 0 ? "" : "DeepSeekError");
        QCOMPARE(m_server->requests().size(), 1);
    }

    // Only a refusal of no key at all points to the settings; a refused key is a plain failure.
    // An empty key still goes out as a bearer token.
    void refusedWithoutKey_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("description");
        const QString failed = QStringLiteral("Network request to DeepSeek failed");
        QTest::newRow("no key, 401") << "" << 401 << int(DeepSeekError::missingApiKey)
                                     << "Add your DeepSeek API key in Settings.";
        QTest::newRow("a key, 401")
            << "sk-wrong" << 401 << int(DeepSeekError::networkError) << failed;
        QTest::newRow("no key, 403") << "" << 403 << int(DeepSeekError::networkError) << failed;
        QTest::newRow("no key, 500") << "" << 500 << int(DeepSeekError::networkError) << failed;
    }
    void refusedWithoutKey()
    {
        QFETCH(QString, key);
        QFETCH(int, status);
        QFETCH(int, error);
        QFETCH(QString, description);
        DeepSeekService service(m_server->url(), fixedKey(key));
        m_server->enqueue({.status = status, .body = R"({"error":{"message":"no key"}})"});
        const Outcome outcome = translate(service);
        QCOMPARE(outcome.errorType, "DeepSeekError");
        QCOMPARE(outcome.code, error);
        QCOMPARE(outcome.error, description);
        QCOMPARE(m_server->requests().first().header("Authorization"), "Bearer " + key);
    }

    // Each request may be billed: whatever the connection does, one translation posts once.
    void transportFailures_data()
    {
        QTest::addColumn<TestHttpServer::Reply>("reply");
        QTest::addColumn<DeepSeekService::Timeouts>("timeouts");
        QTest::addColumn<int>("error");
        const DeepSeekService::Timeouts shortIdle{200ms, 30s, 60s};
        const DeepSeekService::Timeouts shortExchange{15s, 200ms, 60s};
        const DeepSeekService::Timeouts shortRequest{15s, 30s, 200ms};
        const int closed = QNetworkReply::RemoteHostClosedError;
        QTest::newRow("stall: no data") << TestHttpServer::Reply{.stall = true} << shortIdle
                                        << int(QNetworkReply::TimeoutError);
        QTest::newRow("stall: exchange too long")
            << TestHttpServer::Reply{.stall = true} << shortExchange
            << int(QNetworkReply::TimeoutError);
        QTest::newRow("stall: request too long")
            << TestHttpServer::Reply{.stall = true} << shortRequest
            << int(QNetworkReply::TimeoutError);
        QTest::newRow("dropped connection") << TestHttpServer::Reply{.dropConnection = true}
                                            << DeepSeekService::Timeouts{} << closed;
        QTest::newRow("closed after the status line")
            << TestHttpServer::Reply{.dropConnection = true, .raw = "HTTP/1.1 200 OK\r\n"}
            << DeepSeekService::Timeouts{} << closed;
        QTest::newRow("closed after the headers")
            << TestHttpServer::Reply{.dropConnection = true,
                                     .raw = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{"}
            << DeepSeekService::Timeouts{} << closed;
        QTest::newRow("body cut short")
            << TestHttpServer::Reply{.raw = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"ch"}
            << shortIdle << int(QNetworkReply::TimeoutError);
    }
    void transportFailures()
    {
        QFETCH(TestHttpServer::Reply, reply);
        QFETCH(DeepSeekService::Timeouts, timeouts);
        QFETCH(int, error);
        m_server->setDefaultReply(reply);
        DeepSeekService service(m_server->url(), fixedKey("k"), timeouts);
        const Outcome outcome = translate(service);
        QCOMPARE(outcome.errorType, "TransportError");
        QCOMPARE(outcome.code, error);
        QVERIFY(!outcome.error.isEmpty());
        if (error == QNetworkReply::TimeoutError) {
            QCOMPARE(outcome.error, "Network operation timed out");
        }
        QCOMPARE(m_server->requests().size(), 1);
    }

    // The key and the text go to the endpoint and nowhere else.
    void followsNoRedirect_data()
    {
        QTest::addColumn<int>("status");
        for (int status : {301, 302, 303, 307, 308}) {
            QTest::newRow(qPrintable(QString::number(status))) << status;
        }
    }
    void followsNoRedirect()
    {
        QFETCH(int, status);
        TestHttpServer elsewhere;
        m_server->enqueue(
            {.status = status, .headers = {{"Location", elsewhere.url().toEncoded()}}});
        const Outcome outcome = translate(*m_service);
        QCOMPARE(outcome.errorType, "DeepSeekError");
        QCOMPARE(outcome.code, int(DeepSeekError::networkError));
        QCOMPARE(m_server->requests().size(), 1);
        QVERIFY(elsewhere.requests().isEmpty());
    }

    void endlessReplyIsGivenUp()
    {
        EndlessHttpServer endless;
        DeepSeekService service(endless.url(), fixedKey("k"));
        QCOMPARE(translate(service).code, int(DeepSeekError::invalidResponse));
    }

    void refusedConnection()
    {
        const QUrl url = m_server->url();
        m_server->close();
        DeepSeekService service(url, fixedKey("k"));
        const Outcome outcome = translate(service);
        QCOMPARE(outcome.errorType, "TransportError");
        QCOMPARE(outcome.code, int(QNetworkReply::ConnectionRefusedError));
        QCOMPARE(outcome.error, "Connection refused");
    }

    void reusesTheConnection()
    {
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(translate(*m_service).text, "Hallo");
        }
        QCOMPARE(m_server->requests().size(), 3);
        QCOMPARE(m_server->connectionCount(), 1);
    }

    void honoursTheSystemProxy()
    {
        // The proxy is our server; the endpoint's host does not exist.
        qputenv("http_proxy", m_server->url(QString()).toString().toUtf8());
        DeepSeekService service(QUrl("http://deepseek.invalid/chat/completions"), fixedKey("k"));
        const Outcome outcome = translate(service);
        qunsetenv("http_proxy");
        QCOMPARE(outcome.text, "Hallo");
        QCOMPARE(m_server->requests().first().target, "http://deepseek.invalid/chat/completions");
    }

private:
    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<DeepSeekService> m_service;
};

QTEST_GUILESS_MAIN(TestDeepSeekService)
#include "tst_deepseekservice.moc"
