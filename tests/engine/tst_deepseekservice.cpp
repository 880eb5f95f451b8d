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
using Reply = TestHttpServer::Reply;
using Timeouts = DeepSeekService::Timeouts;

namespace {

QString failure(int deepSeekCode)
{
    return u"DeepSeekError %1"_s.arg(deepSeekCode);
}

QString failure(QNetworkReply::NetworkError code, const QString &text)
{
    return u"TransportError %1: %2"_s.arg(code).arg(text);
}

// The translation, or the failure.
QString translate(DeepSeekService &service, const QString &text = u"Hello"_s)
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
            co_return u"sk-%1"_s.arg(++fetches);
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
        QTest::newRow("delete") << u"sk-\x7f"_s << 200 << unsendable;
        QTest::newRow("non-ASCII") << u"sk-ключ"_s << 200 << unsendable;
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

    // Whatever the server answers and however the connection behaves, one translation posts
    // once (each request may be billed), follows no redirect (the key and the text go to the
    // endpoint only) and ends with the answer or a failure.
    void replies_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<Timeouts>("timeouts");
        QTest::addColumn<QString>("outcome");
        const QString invalid = failure(DeepSeekError::invalidResponse);
        const QString closed = failure(QNetworkReply::RemoteHostClosedError, "Connection closed");
        const QString timedOut =
            failure(QNetworkReply::TimeoutError, "Network operation timed out");
        const Timeouts shortIdle{200ms, 30s, 60s};
        const auto body = [](const char *json) { return Reply{.body = json}; };
        const auto row = [](const char *name, const Reply &reply, const QString &outcome,
                            Timeouts timeouts = {}) {
            QTest::newRow(name) << reply << timeouts << outcome;
        };
        row("extra members, padded content",
            body(R"({"choices":[{"message":{"role":"x","content":" Hallo\n","x":1}}]})"), "Hallo");
        row("two choices: first wins",
            body(R"({"choices":[{"message":{"content":"A"}},{"message":{}}]})"), "A");
        row("not JSON", body("Hallo"), invalid);
        row("top-level array", body("[]"), invalid);
        row("error object", body(R"({"error":{"message":"q"}})"), invalid);
        row("empty choices", body(R"({"choices":[]})"), invalid);
        row("choice is a string", body(R"({"choices":["Hallo"]})"), invalid);
        row("no message", body(R"({"choices":[{"text":"Hallo"}]})"), invalid);
        row("content number", body(R"({"choices":[{"message":{"content":42}}]})"), invalid);
        row("invalid UTF-8", body("{\"choices\":[{\"message\":{\"content\":\"Hal\xff\xfelo\"}}]}"),
            invalid);
        row("whitespace content", Reply{.body = TestHttpServer::completion(u" \n\t\u3000 "_s)},
            failure(DeepSeekError::emptyResult));
        for (int status : {301, 302, 303, 307, 308}) {
            row(qPrintable(u"redirect %1"_s.arg(status)),
                Reply{.status = status, .headers = {{"Location", "/elsewhere"}}},
                failure(DeepSeekError::networkError));
        }
        const Reply stall{.stall = true};
        row("stall: no data", stall, timedOut, shortIdle);
        row("stall: exchange too long", stall, timedOut, {15s, 200ms, 60s});
        row("stall: request too long", stall, timedOut, {15s, 30s, 200ms});
        row("dropped connection", Reply{.dropConnection = true}, closed);
        row("closed after the status line",
            Reply{.dropConnection = true, .raw = "HTTP/1.1 200 OK\r\n"}, closed);
        row("closed after the headers",
            Reply{.dropConnection = true, .raw = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{"},
            closed);
        row("body cut short", Reply{.raw = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"ch"},
            timedOut, shortIdle);
    }
    void replies()
    {
        QFETCH(Reply, reply);
        QFETCH(Timeouts, timeouts);
        QFETCH(QString, outcome);
        m_server->setDefaultReply(reply);
        DeepSeekService service(m_server->url(), fixedKey("k"), timeouts);
        QCOMPARE(translate(service), outcome);
        QCOMPARE(m_server->requests().size(), 1);
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
