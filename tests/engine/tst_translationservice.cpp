// The translation service over a real cache folder and a local DeepSeek stand-in.
#include "deepseekservice.h"
#include "quenzalerror.h"
#include "testhome.h"
#include "testhttpserver.h"
#include "translationcache.h"
#include "translationservice.h"
#include "waitfortask.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QTest>

namespace {

const Language en = Language::english();
const Language ru = *Language::find(Language::targetLanguages(), u"ru");

} // namespace

class TestTranslationService : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home.reset();
        m_home = std::make_unique<TestHome>();
        m_server = std::make_unique<TestHttpServer>();
    }

    // Settled before the cache or the network is asked.
    void refusals()
    {
        QCOMPARE(translate(" \n\t ", Language::autoDetect()), "");
        QCOMPARE(translate("Hello", Language::autoDetect(), Language{"auto", "x", "auto"}),
                 "Invalid target language selected");
        QCOMPARE(translate("Hello", en, Language{"en2", "Other", "en"}),
                 "API error: Source and target languages must be different");
        QVERIFY(m_server->requests().isEmpty());
        QVERIFY(!QFileInfo::exists(cacheFolder() + "/translations.json"));
    }

    // A failure is not kept; an answer is, under the trimmed text, also after a restart.
    void answersAreKeptAcrossARestart()
    {
        m_server->enqueue({.status = 500});
        m_server->enqueue({.body = TestHttpServer::completion("  Доброе утро\n")});
        QCOMPARE(translate("  Good morning\n"), "Network request to DeepSeek failed");
        QCOMPARE(translate("  Good morning\n"), "Доброе утро");
        QCOMPARE(translate("Good morning"), "Доброе утро");
        QCOMPARE(m_server->requests().size(), 2);
        const QJsonDocument sent = QJsonDocument::fromJson(m_server->requests().last().body);
        QCOMPARE(sent["messages"][1]["content"].toString(), "Good morning");
        QVERIFY(TranslationCache(cacheFolder())
                    .get(TranslationCache::key("Good morning", "en", "ru:formal")));
    }

private:
    QString cacheFolder() const { return m_home->dataHome() + "/Quenzal"; }

    // The translation or the failure, over a cache read anew each time.
    QString translate(const QString &text, const Language &from = en, const Language &to = ru)
    {
        TranslationCache cache(cacheFolder(), [](const QString &) {});
        DeepSeekService deepSeek(m_server->url(), []() -> QCoro::Task<QString> { co_return "k"; });
        TranslationService service(cache, deepSeek);
        try {
            return waitForTask(service.translate(text, from, to, TranslationStyle::formal));
        } catch (const QuenzalError &error) {
            return error.description();
        }
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<TestHttpServer> m_server;
};

QTEST_GUILESS_MAIN(TestTranslationService)
#include "tst_translationservice.moc"
