// The translation service over a real cache folder and a local DeepSeek stand-in.
#include "deepseekerror.h"
#include "deepseekservice.h"
#include "testhome.h"
#include "testhttpserver.h"
#include "translationcache.h"
#include "translationerror.h"
#include "translationservice.h"
#include "waitfortask.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
        m_home.reset(); // the old home restores the environment first
        m_home = std::make_unique<TestHome>();
        m_server = std::make_unique<TestHttpServer>();
        m_deepSeek = std::make_unique<DeepSeekService>(
            m_server->url(), []() -> QCoro::Task<QString> { co_return QStringLiteral("k"); });
        restart();
    }

    void refusesBeforeTouchingCacheOrNetwork_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Language>("from");
        QTest::addColumn<Language>("to");
        QTest::addColumn<QString>("error"); // empty: the result is "" without an error
        QTest::newRow("blank") << " \n\t " << Language::autoDetect() << en << "";
        QTest::newRow("auto source")
            << "Hello" << Language::autoDetect() << ru << "Invalid target language selected";
        QTest::newRow("auto before equal tags")
            << "Hello" << Language::autoDetect() << Language{"auto", "x", "auto"}
            << "Invalid target language selected";
        QTest::newRow("same tag, other name") << "Hello" << en << Language{"en2", "Other", "en"}
                                              << "API error: Source and target languages must "
                                                 "be different";
    }
    void refusesBeforeTouchingCacheOrNetwork()
    {
        QFETCH(QString, text);
        QFETCH(Language, from);
        QFETCH(Language, to);
        QFETCH(QString, error);
        QString result = QStringLiteral("unset");
        QString description;
        try {
            result = waitForTask(m_service->translate(text, from, to, TranslationStyle::standard));
        } catch (const TranslationError &e) {
            description = e.description();
        }
        QCOMPARE(description, error);
        if (error.isEmpty()) {
            QCOMPARE(result, QString());
        }
        QVERIFY(m_server->requests().isEmpty());
        QCOMPARE(m_cache->count(), 0);
    }

    void repeatedRequestIsAnsweredFromTheCacheAlsoAfterARestart()
    {
        m_server->enqueue({.body = TestHttpServer::completion("  Доброе утро\n")});
        QCOMPARE(translate("Good morning", TranslationStyle::formal), "Доброе утро");
        QCOMPARE(m_cache->get(TranslationCache::key("Good morning", "en", "ru:formal")),
                 "Доброе утро");
        QCOMPARE(translate("Good morning", TranslationStyle::formal), "Доброе утро");
        restart();
        QCOMPARE(translate("Good morning", TranslationStyle::formal), "Доброе утро");
        QCOMPARE(m_server->requests().size(), 1);
    }

    void surroundingWhitespaceSharesOneEntryAndIsNotSent()
    {
        QCOMPARE(translate("  Hello \n"), "Hallo");
        QCOMPARE(translate("Hello"), "Hallo");
        QCOMPARE(m_server->requests().size(), 1);
        const QJsonObject body = QJsonDocument::fromJson(m_server->requests()[0].body).object();
        QCOMPARE(body["messages"].toArray()[1].toObject()["content"].toString(), "Hello");
    }

    void longTextWithEmojiCombiningMarksAndSeparatorsArrivesUnchanged()
    {
        // 5000 user-perceived characters (7 x 714 + 2): accents, skin-toned emoji, "|", newlines.
        const QString text =
            QStringLiteral("e\u0301|👍🏽 a\u0308\nZ").repeated(714) + QStringLiteral("!!");
        QCOMPARE(translate(text), "Hallo");
        const QJsonObject body = QJsonDocument::fromJson(m_server->requests()[0].body).object();
        QCOMPARE(body["messages"].toArray()[1].toObject()["content"].toString(), text);
        QCOMPARE(m_cache->get(TranslationCache::key(text, "en", "ru:standard")), "Hallo");
    }

    void failureLeavesNoEntryAndPassesThroughUnchanged()
    {
        m_server->enqueue({.status = 500});
        try {
            translate("Hello");
            QFAIL("no error");
        } catch (const DeepSeekError &error) {
            QCOMPARE(error.code(), DeepSeekError::networkError);
        }
        QCOMPARE(m_cache->count(), 0);
        QCOMPARE(translate("Hello"), "Hallo");
        QCOMPARE(m_server->requests().size(), 2);
    }

private:
    QString translate(const QString &text, TranslationStyle style = TranslationStyle::standard)
    {
        return waitForTask(m_service->translate(text, en, ru, style));
    }

    void restart()
    {
        m_service.reset();
        m_cache.reset();
        m_cache = std::make_unique<TranslationCache>(m_home->dataHome() + "/Quenzal",
                                                     [](const QString &) {});
        m_service = std::make_unique<TranslationService>(*m_cache, *m_deepSeek);
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<DeepSeekService> m_deepSeek;
    std::unique_ptr<TranslationCache> m_cache;
    std::unique_ptr<TranslationService> m_service;
};

QTEST_GUILESS_MAIN(TestTranslationService)
#include "tst_translationservice.moc"
