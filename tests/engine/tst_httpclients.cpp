// The DeepSeek and Bot API clients against a real HTTP server on 127.0.0.1.
#include "deepseekerror.h"
#include "deepseekservice.h"
#include "telegramreporter.h"
#include "testhttpserver.h"
#include "transporterror.h"
#include "waitfortask.h"

#include <QTest>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Reply = TestHttpServer::Reply;
using Timeouts = DeepSeekService::Timeouts;

namespace {

const QString token = u"123456:ABC-def_Ghi"_s;

DeepSeekService::ApiKeyProvider fixedKey(const QString &key)
{
    return [key]() -> QCoro::Task<QString> { co_return key; };
}

// What `call` gave, or its failure's text (after the code, for a transport failure).
QString attempt(const std::function<QString()> &call)
{
    try {
        return call();
    } catch (const TransportError &error) {
        return u"%1: %2"_s.arg(error.code()).arg(error.description());
    } catch (const QuenzalError &error) {
        return error.description();
    }
}

QString translate(DeepSeekService &service, const QString &text = u"Hello"_s)
{
    return attempt([&] {
        return waitForTask(service.translate(text, "en", "de", TranslationStyle::standard));
    });
}

// The reply's status, " accepted" if the Bot API took it, or the failure.
QString send(const QUrl &base, const QString &token, std::chrono::milliseconds limit)
{
    TelegramReporter reporter(base, fixedKey(token), limit);
    return attempt([&] {
        const auto reply = waitForTask(reporter.sendMessage("-1001234567890", 123, u"x"_s));
        return QString::number(reply.status) + (reply.accepted ? " accepted" : "");
    });
}

} // namespace

class TestHttpClients : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_server = std::make_unique<TestHttpServer>(); }

    // The key is asked for anew each time; one connection carries all requests. A server gone
    // is named.
    void translationRequests()
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
        DeepSeekService gone(m_server->url(), fixedKey("k")); // without a pooled connection
        m_server->close();
        QCOMPARE(translate(gone), "1: Connection refused");
    }

    // A key that could break the header never leaves; one post (billed), no redirect followed,
    // an endless body cut at the size cap.
    void translationExchanges_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<Timeouts>("timeouts");
        QTest::addColumn<QString>("outcome");
        const auto failure = [](DeepSeekError::Code code) {
            return DeepSeekError(code).description();
        };
        const QString unsendable = failure(DeepSeekError::invalidApiKey);
        const QString invalid = failure(DeepSeekError::invalidResponse);
        const QString refused = failure(DeepSeekError::networkError);
        const QString timedOut = "4: Network operation timed out";
        const auto row = [](const char *name, const QString &key, const Reply &reply,
                            const QString &outcome, Timeouts timeouts = {}) {
            QTest::newRow(name) << key << reply << timeouts << outcome;
        };
        const auto body = [](const char *json) { return Reply{.body = json}; };
        const Reply hallo = body(R"({"choices":[{"message":{"content":"Hallo"}}]})");
        row("key of 1024 visible characters", u"!~"_s.repeated(512), hallo, "Hallo");
        row("key of 1025 characters", QString(1025, 'k'), {}, unsendable);
        row("header injection", "sk-1\r\nX-Injected: yes", {}, unsendable);
        row("no key, 401", "", {.status = 401}, failure(DeepSeekError::missingApiKey));
        row("a key, 401", "sk-wrong", {.status = 401}, refused);
        row("redirect", "k", {.status = 307, .headers = {{"Location", "/elsewhere"}}}, refused);
        row("extra members, padded content", "k",
            body(R"({"choices":[{"message":{"role":"x","content":" Hallo\n","x":1}}]})"), "Hallo");
        row("not JSON", "k", body("Hallo"), invalid);
        row("empty choices", "k", body(R"({"choices":[]})"), invalid);
        row("content number", "k", body(R"({"choices":[{"message":{"content":42}}]})"), invalid);
        row("whitespace content", "k", {.body = TestHttpServer::completion(u" \n\t\u3000 "_s)},
            failure(DeepSeekError::emptyResult));
        row("endless body", "k", {.endless = true}, invalid);
        row("stall: no data", "k", {.stall = true}, timedOut, {200ms, 30s, 60s});
        row("stall: exchange too long", "k", {.stall = true}, timedOut, {15s, 200ms, 60s});
    }
    void translationExchanges()
    {
        QFETCH(QString, key);
        QFETCH(Reply, reply);
        QFETCH(Timeouts, timeouts);
        QFETCH(QString, outcome);
        m_server->setDefaultReply(reply);
        DeepSeekService service(m_server->url(), fixedKey(key), timeouts);
        QCOMPARE(translate(service), outcome);
        const bool sent = outcome != DeepSeekError(DeepSeekError::invalidApiKey).description();
        QCOMPARE(m_server->connectionCount(), sent ? 1 : 0);
        QCOMPARE(m_server->requests().size(), sent ? 1 : 0);
        QCOMPARE(m_server->requests().value(0).header("Authorization"),
                 sent ? "Bearer " + key : "");
    }

    // Every reply completes the call; only "ok" in a 2xx reply is acceptance. Only a token of
    // the Bot API's form, under an http(s) base, goes into a URL.
    void reportOutcomes_data()
    {
        QTest::addColumn<QUrl>("base"); // empty: the server's
        QTest::addColumn<QString>("token");
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("outcome");
        const QByteArray ok = R"({"ok":true})";
        const QString unusable = TelegramReporter::UnusableToken().description();
        const auto row = [](const char *name, QUrl base, QString token, Reply reply,
                            QString outcome) {
            QTest::newRow(name) << base << token << reply << outcome;
        };
        row("ok false", {}, token, {.body = R"({"ok":false})"}, "200");
        row("400", {}, token, {.status = 400, .body = ok}, "400");
        row("huge", {}, token, {.body = QByteArray(TelegramReporter::maxReplySize, ' ') + ok},
            "200");
        row("never answers", {}, token, {.stall = true}, "4: Network operation timed out");
        row("header in the token", {}, "123:abc\r\nHost: evil", {}, unusable);
        row("no host", QUrl("http://"), token, {}, unusable);
        row("ftp", QUrl("ftp://127.0.0.1"), token, {}, unusable);
    }
    void reportOutcomes()
    {
        QFETCH(QUrl, base);
        QFETCH(QString, token);
        QFETCH(Reply, reply);
        QFETCH(QString, outcome);
        m_server->setDefaultReply(reply);
        // Only the reply that never comes is waited for briefly: a loaded machine may be slow.
        QCOMPARE(send(base.isEmpty() ? m_server->url(QString()) : base, token,
                      reply.stall ? 300ms : 10s),
                 outcome);
        const bool unusable = outcome == TelegramReporter::UnusableToken().description();
        QCOMPARE(m_server->connectionCount(), unusable ? 0 : 1);
    }

private:
    std::unique_ptr<TestHttpServer> m_server;
};

QTEST_GUILESS_MAIN(TestHttpClients)
#include "tst_httpclients.moc"
