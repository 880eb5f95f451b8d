// The DeepSeek client against a real HTTP server on 127.0.0.1.
#include "deepseekerror.h"
#include "deepseekservice.h"
#include "endlesshttpserver.h"
#include "testhttpserver.h"
#include "transporterror.h"
#include "waitfortask.h"

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

    // The key is asked for anew each time; one connection carries all requests.
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
            QCOMPARE(request.header("Authorization"), "Bearer sk-" + QByteArray::number(i));
            QCOMPARE(request.body, R"({"max_tokens":1024,"messages":[{"content":"Translate from )"
                                   R"(en to de. Reply with translation only.","role":"system"},)"
                                   R"({"content":"Guten Morgen","role":"user"}],"model":)"
                                   R"("deepseek-chat","stream":false,"temperature":0.3})");
        }
        QCOMPARE(m_server->connectionCount(), 1);
    }

    // A key that could break the header never leaves; one post (billed), no redirect followed.
    void exchanges_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<Timeouts>("timeouts");
        QTest::addColumn<QString>("outcome");
        const QString unsendable = failure(DeepSeekError::invalidApiKey);
        const QString invalid = failure(DeepSeekError::invalidResponse);
        const QString refused = failure(DeepSeekError::networkError);
        const QString timedOut =
            failure(QNetworkReply::TimeoutError, "Network operation timed out");
        const Timeouts shortIdle{200ms, 30s, 60s};
        const auto row = [](const char *name, const QString &key, const Reply &reply,
                            const QString &outcome, Timeouts timeouts = {}) {
            QTest::newRow(name) << key << reply << timeouts << outcome;
        };
        const auto body = [](const char *json) { return Reply{.body = json}; };
        const Reply hallo{.body = TestHttpServer::completion("Hallo")};
        row("key of 1024 visible characters", u"!~"_s.repeated(512), hallo, "Hallo");
        row("key of 1025 characters", QString(1025, 'k'), {}, unsendable);
        row("header injection", "sk-1\r\nX-Injected: yes", {}, unsendable);
        row("no key, 401", "", {.status = 401}, failure(DeepSeekError::missingApiKey));
        row("a key, 401", "sk-wrong", {.status = 401}, refused);
        row("redirect", "k", {.status = 307, .headers = {{"Location", "/elsewhere"}}}, refused);
        row("extra members, padded content", "k",
            body(R"({"choices":[{"message":{"role":"x","content":" Hallo\n","x":1}}]})"), "Hallo");
        row("not JSON", "k", body("Hallo"), invalid);
        row("error object", "k", body(R"({"error":{"message":"q"}})"), invalid);
        row("empty choices", "k", body(R"({"choices":[]})"), invalid);
        row("choice is a string", "k", body(R"({"choices":["Hallo"]})"), invalid);
        row("no message", "k", body(R"({"choices":[{"text":"Hallo"}]})"), invalid);
        row("content number", "k", body(R"({"choices":[{"message":{"content":42}}]})"), invalid);
        row("whitespace content", "k", {.body = TestHttpServer::completion(u" \n\t\u3000 "_s)},
            failure(DeepSeekError::emptyResult));
        row("stall: no data", "k", {.stall = true}, timedOut, shortIdle);
        row("stall: exchange too long", "k", {.stall = true}, timedOut, {15s, 200ms, 60s});
    }
    void exchanges()
    {
        QFETCH(QString, key);
        QFETCH(Reply, reply);
        QFETCH(Timeouts, timeouts);
        QFETCH(QString, outcome);
        m_server->setDefaultReply(reply);
        DeepSeekService service(m_server->url(), fixedKey(key), timeouts);
        QCOMPARE(translate(service), outcome);
        if (outcome == failure(DeepSeekError::invalidApiKey)) {
            QCOMPARE(m_server->connectionCount(), 0);
        } else {
            QCOMPARE(m_server->requests().size(), 1);
            QCOMPARE(m_server->requests().first().header("Authorization"), "Bearer " + key);
        }
    }

    // An endless reply is cut at the size cap; a missing server is named.
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
