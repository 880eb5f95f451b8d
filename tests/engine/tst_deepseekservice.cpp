// The DeepSeek client against a real HTTP server on 127.0.0.1.
#include "deepseekerror.h"
#include "deepseekservice.h"
#include "endlesshttpserver.h"
#include "testhttpserver.h"
#include "transporterror.h"
#include "waitfortask.h"

#include <QCoro/QCoroTask>
#include <QTest>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

QString failure(int deepSeekCode)
{
    return QStringLiteral("DeepSeekError %1").arg(deepSeekCode);
}

QString failure(QNetworkReply::NetworkError code, const QString &text)
{
    return QStringLiteral("TransportError %1: %2").arg(code).arg(text);
}

// The translation, or the failure.
QString translate(DeepSeekService &service, const QString &text = QStringLiteral("Hello"))
{
    try {
        return waitForTask(service.translate(text, "en", "de", TranslationStyle::standard));
    } catch (const DeepSeekError &error) {
        return failure(error.code());
    } catch (const TransportError &error) {
        return failure(QNetworkReply::NetworkError(error.code()), error.description());
    }
}

DeepSeekService::ApiKeyProvider fixedKey(const QString &key)
{
    return [key]() -> QCoro::Task<QString> { co_return key; };
}

} // namespace

class TestDeepSeekService : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_server = std::make_unique<TestHttpServer>(); }

    // Compact JSON of five members, each of its JSON type; the key is asked for anew for every
    // request, and one connection carries them all.
    void sendsExactRequests()
    {
        int fetches = 0;
        DeepSeekService service(m_server->url(), [&fetches]() -> QCoro::Task<QString> {
            co_return QStringLiteral("sk-%1").arg(++fetches);
        });
        for (int i = 1; i <= 2; ++i) {
            QCOMPARE(translate(service, "Guten Morgen"), "Hallo");
            const TestHttpServer::Request &request = m_server->requests().last();
            QCOMPARE(request.method + ' ' + request.target, "POST /chat/completions");
            QCOMPARE(request.header("Content-Type"), "application/json");
            QCOMPARE(request.headerCount("Authorization"), 1);
            QCOMPARE(request.header("Authorization"), "Bearer sk-" + QByteArray::number(i));
            QCOMPARE(request.body, R"({"max_tokens":1024,"messages":[{"content":"Translate from )"
                                   R"(en to de. Reply with translation only.","role":"system"},)"
                                   R"({"content":"Guten Morgen","role":"user"}],"model":)"
                                   R"("deepseek-chat","stream":false,"temperature":0.3})");
        }
        QCOMPARE(m_server->connectionCount(), 1);
    }

    // A key that could break the header line never leaves; only a refusal of no key at all
    // points to the settings, and an empty key still goes out as a bearer token.
    void keys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("outcome");
        const QString unsendable = failure(DeepSeekError::invalidApiKey);
        QTest::newRow("1024 visible characters") << u"!~"_s.repeated(512) << 200 << "Hallo";
        QTest::newRow("1025 characters") << QString(1025, 'k') << 200 << unsendable;
        QTest::newRow("header injection") << "sk-1\r\nX-Injected: yes" << 200 << unsendable;
        QTest::newRow("delete") << QStringLiteral("sk-\x7f") << 200 << unsendable;
        QTest::newRow("non-ASCII") << QStringLiteral("sk-ключ") << 200 << unsendable;
        QTest::newRow("inner space") << "sk 1" << 200 << unsendable;
        QTest::newRow("no key, 401") << "" << 401 << failure(DeepSeekError::missingApiKey);
        QTest::newRow("a key, 401") << "sk-wrong" << 401 << failure(DeepSeekError::networkError);
        QTest::newRow("no key, 403") << "" << 403 << failure(DeepSeekError::networkError);
    }
    void keys()
    {
        QFETCH(QString, key);
        QFETCH(int, status);
        QFETCH(QString, outcome);
        DeepSeekService service(m_server->url(), fixedKey(key));
        m_server->enqueue({.status = status, .body = TestHttpServer::completion("Hallo")});
        QCOMPARE(translate(service), outcome);
        if (outcome == failure(DeepSeekError::invalidApiKey)) {
            QCOMPARE(m_server->connectionCount(), 0);
        } else {
            QCOMPARE(m_server->requests().first().header("Authorization"), "Bearer " + key);
        }
    }

    void replies_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("outcome");
        const QString invalid = failure(DeepSeekError::invalidResponse);
        QTest::newRow("extra members, padded content")
            << QByteArray(R"({"choices":[{"message":{"role":"x","content":" Hallo\n","x":1}}]})")
            << "Hallo";
        QTest::newRow("two choices: first wins")
            << QByteArray(R"({"choices":[{"message":{"content":"A"}},{"message":{}}]})") << "A";
        QTest::newRow("not JSON") << QByteArray("Hallo") << invalid;
        QTest::newRow("top-level array") << QByteArray("[]") << invalid;
        QTest::newRow("error object") << QByteArray(R"({"error":{"message":"quota"}})") << invalid;
        QTest::newRow("empty choices") << QByteArray(R"({"choices":[]})") << invalid;
        QTest::newRow("choice is a string") << QByteArray(R"({"choices":["Hallo"]})") << invalid;
        QTest::newRow("no message") << QByteArray(R"({"choices":[{"text":"Hallo"}]})") << invalid;
        QTest::newRow("content number")
            << QByteArray(R"({"choices":[{"message":{"content":42}}]})") << invalid;
        QTest::newRow("invalid UTF-8")
            << QByteArray("{\"choices\":[{\"message\":{\"content\":\"Hal\xff\xfelo\"}}]}")
            << invalid;
        QTest::newRow("whitespace content")
            << TestHttpServer::completion(QStringLiteral(" \n\t\u3000 "))
            << failure(DeepSeekError::emptyResult);
    }
    void replies()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, outcome);
        m_server->enqueue({.body = body});
        DeepSeekService service(m_server->url(), fixedKey("k"));
        QCOMPARE(translate(service), outcome);
    }

    // Each request may be billed: whatever the connection does, one translation posts once.
    void transportFailures_data()
    {
        QTest::addColumn<TestHttpServer::Reply>("reply");
        QTest::addColumn<DeepSeekService::Timeouts>("timeouts");
        QTest::addColumn<QString>("outcome");
        const DeepSeekService::Timeouts shortIdle{200ms, 30s, 60s};
        const QString closed = failure(QNetworkReply::RemoteHostClosedError, "Connection closed");
        const QString timedOut =
            failure(QNetworkReply::TimeoutError, "Network operation timed out");
        const TestHttpServer::Reply stall{.stall = true};
        QTest::newRow("stall: no data") << stall << shortIdle << timedOut;
        QTest::newRow("stall: exchange too long")
            << stall << DeepSeekService::Timeouts{15s, 200ms, 60s} << timedOut;
        QTest::newRow("stall: request too long")
            << stall << DeepSeekService::Timeouts{15s, 30s, 200ms} << timedOut;
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
            << shortIdle << timedOut;
    }
    void transportFailures()
    {
        QFETCH(TestHttpServer::Reply, reply);
        QFETCH(DeepSeekService::Timeouts, timeouts);
        QFETCH(QString, outcome);
        m_server->setDefaultReply(reply);
        DeepSeekService service(m_server->url(), fixedKey("k"), timeouts);
        QCOMPARE(translate(service), outcome);
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
        DeepSeekService service(m_server->url(), fixedKey("k"));
        QCOMPARE(translate(service), failure(DeepSeekError::networkError));
        QCOMPARE(m_server->requests().size(), 1);
        QVERIFY(elsewhere.requests().isEmpty());
    }

    // A reply that never ends is given up at the size cap; a server that is not there is named.
    void noUsableServer()
    {
        EndlessHttpServer endless;
        DeepSeekService unending(endless.url(), fixedKey("k"));
        QCOMPARE(translate(unending), failure(DeepSeekError::invalidResponse));

        const QUrl url = m_server->url();
        m_server->close();
        DeepSeekService gone(url, fixedKey("k"));
        QCOMPARE(translate(gone),
                 failure(QNetworkReply::ConnectionRefusedError, "Connection refused"));
    }

private:
    std::unique_ptr<TestHttpServer> m_server;
};

QTEST_GUILESS_MAIN(TestDeepSeekService)
#include "tst_deepseekservice.moc"
