// The translator's state, driven as the popover drives it, over the real translation engine
// talking to a local DeepSeek stand-in, a scripted recogniser and a fake speech engine.
#include "testtranslator.h"

#include <QFile>
#include <QJsonDocument>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Voice = SpeechEngine::Voice;
using Quality = SpeechEngine::Quality;

namespace {

Language lang(const char *id)
{
    return *Language::find(Language::sourceLanguages(), QString::fromLatin1(id));
}

QStringList ids(const QList<Language> &languages)
{
    QStringList result;
    for (const Language &language : languages) {
        result.append(language.id);
    }
    return result;
}

QString promptOf(const TestHttpServer::Request &request)
{
    return QJsonDocument::fromJson(request.body)["messages"][0]["content"].toString();
}

QString textOf(const TestHttpServer::Request &request)
{
    return QJsonDocument::fromJson(request.body)["messages"][1]["content"].toString();
}

// `count` user-perceived characters, each made of several UTF-16 units.
QString graphemes(int count)
{
    const QStringList pieces{QStringLiteral("🇩🇪"), QStringLiteral("e\u0301"),
                             QStringLiteral("👍🏽"), QStringLiteral("a\u0308\u0323")};
    QString text;
    for (int i = 0; i < count; ++i) {
        text += pieces[i % pieces.size()];
    }
    return text;
}

class ThrowingRecognizer : public FakeLanguageRecognizer
{
public:
    void processString(const QString &) override { throw std::runtime_error("broken"); }
};

} // namespace

class TestTranslatorViewModel : public QObject
{
    Q_OBJECT

private slots:
    void init() { start(); }
    void cleanup() { m_translator.reset(); }

    void firstStartWritesNothing()
    {
        QCOMPARE(m_viewModel->sourceLanguage(), Language::autoDetect());
        QCOMPARE(m_viewModel->targetLanguage(), Language::english());
        QVERIFY(!m_viewModel->isDebouncePending());
        QVERIFY(m_settings->allKeys().isEmpty());
        // Choosing pills writes nothing either.
        m_viewModel->setSourceLanguage(lang("ru"));
        m_viewModel->setTargetLanguage(lang("tr"));
        QVERIFY(m_settings->allKeys().isEmpty());
    }

    void storedSettings_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("style");
        QTest::addColumn<QStringList>("sourcePills");
        QTest::addColumn<QStringList>("targetPills");
        const QStringList sourceDefault{"auto", "en", "ru"};
        const QStringList targetDefault{"ru", "en", "tr"};

        QTest::newRow("nothing stored")
            << QByteArray() << u"standard"_s << sourceDefault << targetDefault;
        QTest::newRow("stored choices")
            << QByteArray("translationStyle=formal\nrecentSourceLanguages=de, auto, fr\n"
                          "recentTargetLanguages=ja, ko, uk, fi\n")
            << u"formal"_s << QStringList{"auto", "de", "fr"} << QStringList{"ja", "ko", "uk"};
        QTest::newRow("unknown style") << QByteArray("translationStyle=Formal\n") << u"standard"_s
                                       << sourceDefault << targetDefault;
        QTest::newRow("style of another type")
            << QByteArray("translationStyle=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x3)\n")
            << u"standard"_s << sourceDefault << targetDefault;
        QTest::newRow("one-item lists") << QByteArray("recentSourceLanguages=de\n"
                                                      "recentTargetLanguages=ja\n")
                                        << u"standard"_s << QStringList{"auto", "de", "en"}
                                        << QStringList{"ja", "en", "zh-Hans"};
        QTest::newRow("unknown ids keep their places")
            << QByteArray("recentSourceLanguages=auto, xx, de\n"
                          "recentTargetLanguages=xx, de\n")
            << u"standard"_s << QStringList{"auto", "de", "en"}
            << QStringList{"de", "en", "zh-Hans"};
        QTest::newRow("auto is no target")
            << QByteArray("recentTargetLanguages=auto, de, de\n") << u"standard"_s << sourceDefault
            << QStringList{"de", "en", "zh-Hans"};
        QTest::newRow("lists of another type")
            << QByteArray("recentSourceLanguages=@ByteArray(de)\n"
                          "recentTargetLanguages=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x3)\n")
            << u"standard"_s << sourceDefault << targetDefault;
        QTest::newRow("empty values")
            << QByteArray("recentSourceLanguages=\nrecentTargetLanguages=@Invalid()\n")
            << u"standard"_s << QStringList{"auto", "en", "zh-Hans"} << targetDefault;
        QByteArray huge = "recentTargetLanguages=it";
        for (int i = 0; i < 10000; ++i) {
            huge += ", x" + QByteArray::number(i);
        }
        QTest::newRow("10,000 recent ids")
            << huge + '\n'
            << u"standard"_s << sourceDefault << QStringList{"it", "en", "zh-Hans"};
    }
    void storedSettings()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, style);
        QFETCH(QStringList, sourcePills);
        QFETCH(QStringList, targetPills);
        start("[General]\n" + ini);
        QCOMPARE(m_viewModel->translationStyle().rawValue(), style);
        QCOMPARE(ids(m_viewModel->sourcePillLanguages()), sourcePills);
        QCOMPARE(ids(m_viewModel->targetPillLanguages()), targetPills);
        QCOMPARE(m_viewModel->sourceMoreLanguages().size(), 75 - sourcePills.size());
        QCOMPARE(m_viewModel->targetMoreLanguages().size(), 74 - targetPills.size());
    }

    void unknownStyleStaysStoredUntilAStyleIsChosen()
    {
        start("[General]\ntranslationStyle=poetic\n");
        QCOMPARE(m_settings->value("translationStyle").toString(), "poetic");
        m_viewModel->setTranslationStyle(TranslationStyle::casual);
        QCOMPARE(m_settings->value("translationStyle").toString(), "casual");
    }

    void equalAssignmentsAreSilentButStillAct()
    {
        QSignalSpy textChanges(m_viewModel, &TranslatorViewModel::sourceTextChanged);
        QSignalSpy styleChanges(m_viewModel, &TranslatorViewModel::translationStyleChanged);
        QSignalSpy sourceChanges(m_viewModel, &TranslatorViewModel::sourceLanguageChanged);
        QSignalSpy recentChanges(m_viewModel, &TranslatorViewModel::recentSourceLanguagesChanged);

        m_viewModel->setSourceText("Hello");
        m_viewModel->setDebounceInterval(10s);
        m_viewModel->setSourceText("Hello"); // restarts the now longer debounce
        QCOMPARE(textChanges.count(), 1);
        QTest::qWait(100);
        QVERIFY(m_viewModel->isDebouncePending());

        m_viewModel->setTranslationStyle(TranslationStyle::standard);
        QCOMPARE(styleChanges.count(), 0);
        QCOMPARE(m_settings->value("translationStyle").toString(), "standard");

        m_viewModel->setSourceLanguage(Language{"auto", "Automatic", "auto"});
        QCOMPARE(sourceChanges.count(), 1);
        QCOMPARE(recentChanges.count(), 0);
        QVERIFY(!m_settings->contains("recentSourceLanguages"));
    }

    void lengthLimit_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("after");
        QTest::addColumn<bool>("refused");
        const QString limit = graphemes(5000);
        QTest::newRow("5000 characters") << u""_s << limit << limit << false;
        QTest::newRow("5001 characters") << u"abc"_s << graphemes(5001) << u"abc"_s << true;
        QTest::newRow("5000 plus one combining mark") << u""_s << limit + QStringLiteral("\u0301")
                                                      << limit + QStringLiteral("\u0301") << false;
        // However many combining marks follow each other, they make one character; only the
        // size of the text bounds them.
        QTest::newRow("6000 combining marks")
            << u""_s << QString(6000, QChar(0x301)) << QString(6000, QChar(0x301)) << false;
        QTest::newRow("100,000 combining marks")
            << u"ab"_s << QString(100000, QChar(0x301)) << u"ab"_s << true;
        QTest::newRow("6000 pasted into nothing") << u""_s << QString(6000, 'x') << u""_s << true;
    }
    void lengthLimit()
    {
        QFETCH(QString, before);
        QFETCH(QString, typed);
        QFETCH(QString, after);
        QFETCH(bool, refused);
        m_viewModel->setSourceLanguage(lang("de"));
        m_viewModel->setSourceText(before);
        m_viewModel->setSourceText(typed);
        QCOMPARE(m_viewModel->sourceText(), after);
        QCOMPARE(m_viewModel->errorMessage(),
                 refused ? TranslatorViewModel::textTooLongMessage : QString());
        settle();
        // What stays is translated; an empty text only empties the translation, and then the
        // message stays, since no request clears it.
        QCOMPARE(m_server->requests().size(), after.isEmpty() ? 0 : 1);
        QCOMPARE(m_viewModel->translatedText(), after.isEmpty() ? "" : "Hallo");
        QCOMPARE(!m_viewModel->errorMessage().isEmpty(), refused && after.isEmpty());
    }

    void typingDetectsOnEveryKeystrokeAndTranslatesOnce()
    {
        m_recognizer->dominant = "de";
        const QString word = QStringLiteral("Hallo");
        for (int i = 1; i <= word.size(); ++i) {
            m_viewModel->setSourceText(word.left(i));
        }
        QCOMPARE(m_recognizer->processed, (QStringList{"H", "Ha", "Hal", "Hall", "Hallo"}));
        QCOMPARE(m_viewModel->detectedLanguage(), lang("de"));
        QVERIFY(m_server->requests().isEmpty());
        settle();
        QCOMPARE(m_server->requests().size(), 1);
        QCOMPARE(textOf(m_server->requests().first()), "Hallo");
        QCOMPARE(promptOf(m_server->requests().first()),
                 "Translate from de to en. Reply with translation only.");
    }

    void aFixedSourceIsNotDetected()
    {
        m_recognizer->dominant = "de";
        m_viewModel->setSourceText("Hallo");
        m_viewModel->setSourceLanguage(lang("fr"));
        m_viewModel->setSourceText("Bonjour");
        QCOMPARE(m_recognizer->processed, QStringList{"Hallo"});
        QCOMPARE(m_viewModel->detectedLanguage(), lang("de")); // kept from before
    }

    void blankTextEmptiesTheTranslationWithoutARequest()
    {
        m_viewModel->setTranslatedText("old");
        m_viewModel->setSourceText("   ");
        settle();
        QCOMPARE(m_viewModel->translatedText(), "");
        QVERIFY(m_server->requests().isEmpty());
        QCOMPARE(m_viewModel->errorMessage(), "");
    }

    void undetectableTextKeepsTheOldTranslation_data()
    {
        QTest::addColumn<bool>("recogniserThrows");
        QTest::newRow("nothing recognised") << false;
        QTest::newRow("recogniser throws") << true;
    }
    void undetectableTextKeepsTheOldTranslation()
    {
        QFETCH(bool, recogniserThrows);
        if (recogniserThrows) {
            start({}, std::make_unique<ThrowingRecognizer>());
        }
        m_viewModel->setTranslatedText("old");
        m_viewModel->setSourceText("!!!");
        settle();
        QCOMPARE(m_viewModel->errorMessage(), TranslatorViewModel::detectionFailedMessage);
        QCOMPARE(m_viewModel->translatedText(), "old");
        QVERIFY(m_server->requests().isEmpty());
        QVERIFY(!m_viewModel->isTranslating());
    }

    void targetEqualToTheSourceIsReplacedFirst_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("detected");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("auto, English detected, English target")
            << u"auto"_s << u"en"_s << u"en"_s
            << u"Translate from en to ru. Reply with translation only."_s;
        QTest::newRow("Russian chosen, Russian target")
            << u"ru"_s << u""_s << u"ru"_s
            << u"Translate from ru to en. Reply with translation only."_s;
    }
    void targetEqualToTheSourceIsReplacedFirst()
    {
        QFETCH(QString, source);
        QFETCH(QString, detected);
        QFETCH(QString, target);
        QFETCH(QString, prompt);
        choose(source, detected, target);
        m_viewModel->setSourceText("Some text");
        settle();
        QCOMPARE(promptOf(m_server->requests().first()), prompt);
    }

    void changingLanguagesStartsNoRequest()
    {
        m_viewModel->setSourceLanguage(lang("de"));
        m_viewModel->setSourceText("Hallo");
        settle();
        m_viewModel->setTargetLanguage(lang("fr"));
        m_viewModel->setTranslationStyle(TranslationStyle::formal);
        QTest::qWait(100);
        QCOMPARE(m_server->requests().size(), 1);
    }

    void failures_data()
    {
        QTest::addColumn<TestHttpServer::Reply>("reply");
        QTest::addColumn<QString>("message");
        QTest::newRow("server error")
            << TestHttpServer::Reply{.status = 500} << u"Network request to DeepSeek failed"_s;
        QTest::newRow("malformed reply")
            << TestHttpServer::Reply{.body = "{}"} << u"Invalid response from DeepSeek"_s;
        QTest::newRow("empty answer")
            << TestHttpServer::Reply{.body = TestHttpServer::completion("  ")}
            << u"DeepSeek returned empty translation"_s;
        QTest::newRow("dropped connection")
            << TestHttpServer::Reply{.dropConnection = true} << u"Connection closed"_s;
    }
    void failures()
    {
        QFETCH(TestHttpServer::Reply, reply);
        QFETCH(QString, message);
        m_viewModel->setSourceLanguage(lang("de"));
        m_viewModel->setSourceText("Hallo");
        settle();
        QCOMPARE(m_viewModel->translatedText(), "Hallo");

        m_server->setDefaultReply(reply);
        m_viewModel->setSourceText("Hallo Welt");
        settle();
        QVERIFY2(m_viewModel->errorMessage().startsWith(message),
                 qPrintable(m_viewModel->errorMessage()));
        QCOMPARE(m_viewModel->translatedText(), "Hallo"); // the earlier one stays
        QVERIFY(!m_viewModel->isTranslating());
    }

    void translateDuringADebounceSendsTwoRequests()
    {
        // A failure is not cached, so the second request goes out whether the first answer
        // arrives before the debounce fires or after, however busy the machine.
        m_server->enqueue({.status = 500, .body = "{}"});
        m_viewModel->setSourceLanguage(lang("de"));
        m_viewModel->setSourceText("Hallo");
        m_viewModel->translate();
        QVERIFY(m_viewModel->isTranslating());
        QVERIFY(m_viewModel->isDebouncePending());
        settle();
        QCOMPARE(m_server->requests().size(), 2);
    }

    void theNewestRequestWins_data()
    {
        QTest::addColumn<int>("firstDelay");
        QTest::addColumn<int>("secondDelay");
        QTest::newRow("older answers last") << 400 << 0;
        QTest::newRow("older answers first") << 0 << 400;
    }
    void theNewestRequestWins()
    {
        QFETCH(int, firstDelay);
        QFETCH(int, secondDelay);
        m_server->enqueue({.body = TestHttpServer::completion("first"),
                           .delay = std::chrono::milliseconds(firstDelay)});
        m_server->enqueue({.body = TestHttpServer::completion("second"),
                           .delay = std::chrono::milliseconds(secondDelay)});
        QSignalSpy results(m_viewModel, &TranslatorViewModel::translatedTextChanged);
        QSignalSpy busy(m_viewModel, &TranslatorViewModel::isTranslatingChanged);
        m_viewModel->setSourceLanguage(lang("de"));
        m_viewModel->setDebounceInterval(1h);
        m_viewModel->setSourceText("eins");
        m_viewModel->translate();
        m_viewModel->setSourceText("zwei");
        m_viewModel->translate();
        QTRY_COMPARE(m_server->requests().size(), 2);
        QTRY_VERIFY(!m_viewModel->isTranslating());
        QTest::qWait(500); // the slower answer, whichever it is, has come by now
        QCOMPARE(m_viewModel->translatedText(), "second");
        QCOMPARE(results.count(), 1);
        QCOMPARE(busy.count(), 2); // true once, false once
    }

    void recentLanguages_data()
    {
        QTest::addColumn<QString>("side");
        QTest::addColumn<QStringList>("choices");
        QTest::addColumn<QStringList>("recent");
        QTest::addColumn<QStringList>("pills");
        // Each step is announced on its own: removing the id (when it was there), inserting
        // it, dropping the sixth.
        QTest::addColumn<int>("announcements");
        QTest::newRow("menu choice on the source side")
            << u"source"_s << QStringList{"de"} << QStringList{"de", "auto", "en", "ru"}
            << QStringList{"auto", "de", "en"} << 1;
        QTest::newRow("a pill changes nothing") << u"source"_s << QStringList{"en", "ru", "auto"}
                                                << QStringList{} << QStringList{} << 0;
        QTest::newRow("menu choice on the target side")
            << u"target"_s << QStringList{"de"} << QStringList{"de", "ru", "en", "tr"}
            << QStringList{"de", "ru", "en"} << 1;
        QTest::newRow("six choices keep five")
            << u"target"_s << QStringList{"de", "fr", "it", "es", "pt", "ja"}
            << QStringList{"ja", "pt", "es", "it", "fr"} << QStringList{"ja", "pt", "es"} << 10;
        QTest::newRow("a recent non-pill moves to the front")
            << u"target"_s << QStringList{"de", "tr"} << QStringList{"tr", "de", "ru", "en"}
            << QStringList{"tr", "de", "ru"} << 3;
        QTest::newRow("back to one that fell off the pills")
            << u"target"_s << QStringList{"de", "fr", "it", "ru"}
            << QStringList{"ru", "it", "fr", "de", "en"} << QStringList{"ru", "it", "fr"} << 6;
    }
    void recentLanguages()
    {
        QFETCH(QString, side);
        QFETCH(QStringList, choices);
        QFETCH(QStringList, recent);
        QFETCH(QStringList, pills);
        QFETCH(int, announcements);
        const bool source = side == "source";
        QSignalSpy changes(m_viewModel, source
                                            ? &TranslatorViewModel::recentSourceLanguagesChanged
                                            : &TranslatorViewModel::recentTargetLanguagesChanged);
        for (const QString &id : choices) {
            if (source) {
                m_viewModel->setSourceLanguage(lang(qPrintable(id)));
            } else {
                m_viewModel->setTargetLanguage(lang(qPrintable(id)));
            }
        }
        const QString key = source ? "recentSourceLanguages" : "recentTargetLanguages";
        if (recent.isEmpty()) {
            QVERIFY(!m_settings->contains(key));
        } else {
            QCOMPARE(source ? m_viewModel->recentSourceLanguages()
                            : m_viewModel->recentTargetLanguages(),
                     recent);
            QCOMPARE(m_settings->value(key).toStringList(), recent);
            QCOMPARE(ids(source ? m_viewModel->sourcePillLanguages()
                                : m_viewModel->targetPillLanguages()),
                     pills);
        }
        QCOMPARE(changes.count(), announcements);
    }

    // A target equal to the source gives way.
    void resolveLanguageConflict_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("resolved");
        QTest::newRow("first recent that differs") << QByteArray() << u"en"_s << u"ru"_s;
        QTest::newRow("skips the source") << QByteArray() << u"ru"_s << u"en"_s;
        QTest::newRow("only the source is recent, en")
            << QByteArray("recentTargetLanguages=en\n") << u"en"_s << u"ru"_s;
        QTest::newRow("only the source is recent, ru")
            << QByteArray("recentTargetLanguages=ru\n") << u"ru"_s << u"en"_s;
        QTest::newRow("unknown ids count")
            << QByteArray("recentTargetLanguages=de, xx\n") << u"de"_s << u"xx"_s;
    }
    void resolveLanguageConflict()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, language);
        QFETCH(QString, resolved);
        start("[General]\n" + ini);
        QCOMPARE(m_viewModel->resolveLanguageConflict(language, language), resolved);
    }

    void swap_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("detected");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("newSource");
        QTest::addColumn<QString>("newTarget");
        QTest::newRow("fixed languages") << u"de"_s << u""_s << u"fr"_s << u"fr"_s << u"de"_s;
        QTest::newRow("auto, German detected")
            << u"auto"_s << u"de"_s << u"ru"_s << u"ru"_s << u"de"_s;
        QTest::newRow("auto, nothing detected")
            << u"auto"_s << u""_s << u"ru"_s << u"ru"_s << u"en"_s;
    }
    void swap()
    {
        QFETCH(QString, source);
        QFETCH(QString, detected);
        QFETCH(QString, target);
        QFETCH(QString, newSource);
        QFETCH(QString, newTarget);
        choose(source, detected, target);
        m_viewModel->setSourceText("Original");
        m_viewModel->setTranslatedText("Translation");
        m_viewModel->swapLanguages();
        QCOMPARE(m_viewModel->sourceLanguage().id, newSource);
        QCOMPARE(m_viewModel->targetLanguage().id, newTarget);
        QCOMPARE(m_viewModel->sourceText(), "Translation");
        QCOMPARE(m_viewModel->translatedText(), "Original");
        settle();
        QCOMPARE(textOf(m_server->requests().last()), "Translation");
        QCOMPARE(promptOf(m_server->requests().last()),
                 QStringLiteral("Translate from %1 to %2. Reply with translation only.")
                     .arg(newSource, newTarget));
    }

    void swapWithAnEmptyTranslation()
    {
        m_viewModel->setSourceLanguage(lang("de"));
        m_viewModel->setSourceText("Hallo");
        m_viewModel->swapLanguages();
        QCOMPARE(m_viewModel->sourceText(), "");
        QCOMPARE(m_viewModel->translatedText(), "Hallo");
        settle();
        QCOMPARE(m_viewModel->translatedText(), "");
        QVERIFY(m_server->requests().isEmpty());
    }

    void swapWithATranslationOverTheLimit()
    {
        m_viewModel->setSourceLanguage(lang("de"));
        m_viewModel->setSourceText("Hallo");
        m_viewModel->setTranslatedText(QString(5001, 'x'));
        m_viewModel->swapLanguages();
        QCOMPARE(m_viewModel->sourceText(), "Hallo");
        QCOMPARE(m_viewModel->translatedText(), "Hallo");
        QCOMPARE(m_viewModel->errorMessage(), TranslatorViewModel::textTooLongMessage);
    }

    void clearEmptiesTextsAndDetection()
    {
        m_recognizer->dominant = "de";
        m_viewModel->setSourceText("Hallo");
        settle();
        m_viewModel->setTargetLanguage(lang("fr"));
        m_viewModel->clear();
        QCOMPARE(m_viewModel->sourceText(), "");
        QCOMPARE(m_viewModel->translatedText(), "");
        QCOMPARE(m_viewModel->detectedLanguage(), std::nullopt);
        QCOMPARE(m_viewModel->targetLanguage().id, "fr");
        settle();
        QCOMPARE(m_server->requests().size(), 1);
    }

    void placeholders_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("sourceHint");
        QTest::addColumn<QString>("targetHint");
        QTest::newRow("auto") << u"auto"_s << u"Enter text for translate..."_s
                              << u"Translation will appear here"_s;
        QTest::newRow("German") << u"de"_s << u"Text zum Übersetzen eingeben..."_s
                                << u"Übersetzung erscheint hier"_s;
        QTest::newRow("Hindi has no row")
            << u"hi"_s << u"Enter text for translate..."_s << u"Translation will appear here"_s;
        QTest::newRow("Traditional Chinese")
            << u"zh-Hant"_s << u"輸入要翻譯的文本..."_s << u"翻譯將顯示在這裡"_s;
    }
    void placeholders()
    {
        QFETCH(QString, source);
        QFETCH(QString, sourceHint);
        QFETCH(QString, targetHint);
        m_recognizer->dominant = "ja";
        m_viewModel->setSourceText("何か");
        m_viewModel->setTargetLanguage(lang("ja"));
        m_viewModel->setSourceLanguage(lang(qPrintable(source)));
        QCOMPARE(m_viewModel->sourcePlaceholder(), sourceHint);
        QCOMPARE(m_viewModel->targetPlaceholder(), targetHint);
    }

    void voiceChoice_data()
    {
        QTest::addColumn<QList<Voice>>("installed");
        QTest::addColumn<QList<Voice>>("lookup");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("voice"); // id, empty for the engine's default
        const Voice enUS{"us", "en-US", Quality::standard};
        const Voice enGB{"gb", "en-GB", Quality::enhanced};
        const Voice zhCN{"cn", "zh-CN", Quality::standard};
        const Voice zhTW{"tw", "zh-TW", Quality::premium};
        const Voice nbNO{"nb", "nb-NO", Quality::standard};
        QTest::newRow("enhanced wins wherever it stands")
            << QList<Voice>{enUS, zhCN, enGB} << QList<Voice>{} << u"en"_s << u"gb"_s;
        QTest::newRow("zh-Hant takes any zh voice, better first")
            << QList<Voice>{zhCN, zhTW} << QList<Voice>{} << u"zh-Hant"_s << u"tw"_s;
        QTest::newRow("first of equal voices") << QList<Voice>{zhCN, Voice{"cn2", "zh-HK"}}
                                               << QList<Voice>{} << u"zh-Hans"_s << u"cn"_s;
        QTest::newRow("no prefix match, the engine's lookup")
            << QList<Voice>{nbNO} << QList<Voice>{nbNO} << u"no"_s << u""_s;
        QTest::newRow("lookup by the full id")
            << QList<Voice>{enUS} << QList<Voice>{Voice{"fil", "fil"}} << u"fil"_s << u"fil"_s;
    }
    void voiceChoice()
    {
        QFETCH(QList<Voice>, installed);
        QFETCH(QList<Voice>, lookup);
        QFETCH(QString, target);
        QFETCH(QString, voice);
        m_speech->installedVoices = installed;
        m_speech->lookupVoices = lookup;
        m_viewModel->setTargetLanguage(lang(qPrintable(target)));
        m_viewModel->setTranslatedText("Text");
        m_viewModel->toggleSpeech();
        QVERIFY(m_viewModel->isSpeaking());
        QCOMPARE(m_speech->spoken.size(), 1);
        const FakeSpeechEngine::Utterance &utterance = m_speech->spoken.first();
        QCOMPARE(utterance.voice ? utterance.voice->id : QString(), voice);
        QCOMPARE(utterance.rate, 0.48);
        QCOMPARE(utterance.pitch, 1.0);
    }

    void speechEndsOnTheGuiThread_data()
    {
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("finished") << false;
        QTest::newRow("cancelled") << true;
    }
    void speechEndsOnTheGuiThread()
    {
        QFETCH(bool, cancelled);
        m_viewModel->setTranslatedText("Hallo");
        m_viewModel->toggleSpeech();
        QVERIFY(m_viewModel->isSpeaking());
        QSignalSpy speaking(m_viewModel, &TranslatorViewModel::isSpeakingChanged);
        if (cancelled) {
            m_speech->cancelFromAnotherThread();
        } else {
            m_speech->finishFromAnotherThread();
        }
        QVERIFY(m_viewModel->isSpeaking()); // nothing happens before the GUI thread looks
        QTRY_VERIFY(!m_viewModel->isSpeaking());
        QCOMPARE(speaking.count(), 1);
    }

    void aLateReportOfAnEarlierUtteranceChangesNothing()
    {
        m_viewModel->setTranslatedText("Hallo");
        m_viewModel->toggleSpeech();
        m_viewModel->toggleSpeech(); // stopped; the engine has yet to say so
        m_viewModel->toggleSpeech(); // speaking again
        const quint64 stopped = m_speech->spoken.first().id;
        QVERIFY(m_speech->spoken.last().id != stopped);
        m_speech->cancelFromAnotherThread(stopped);
        QTest::qWait(50);
        QVERIFY(m_viewModel->isSpeaking());
        m_speech->finishFromAnotherThread();
        QTRY_VERIFY(!m_viewModel->isSpeaking());
    }

    void speakButtonStopsAndResetsWhateverTheEngineDoes()
    {
        QSignalSpy speaking(m_viewModel, &TranslatorViewModel::isSpeakingChanged);
        m_viewModel->toggleSpeech(); // nothing to say
        QVERIFY(!m_viewModel->isSpeaking());
        QCOMPARE(m_translator->speechEnginesMade,
                 0); // the engine is started by the first real request

        m_viewModel->setTranslatedText("Hallo");
        m_viewModel->toggleSpeech();
        m_viewModel->setTranslatedText("Changed meanwhile");
        QCOMPARE(m_speech->spoken.last().text, "Hallo");
        m_viewModel->toggleSpeech(); // the engine never reported back: stop anyway
        QVERIFY(!m_viewModel->isSpeaking());
        QCOMPARE(m_speech->stops, 2); // before speaking, and now
        m_viewModel->toggleSpeech();
        QCOMPARE(m_speech->spoken.last().text, "Changed meanwhile");
        QCOMPARE(speaking.count(), 3);
    }

    void startingEngine_data()
    {
        QTest::addColumn<SpeechEngine::State>("outcome");
        QTest::addColumn<bool>("pressedAgain");
        QTest::addColumn<int>("utterances");
        QTest::newRow("becomes ready") << SpeechEngine::State::ready << false << 1;
        QTest::newRow("becomes unavailable") << SpeechEngine::State::unavailable << false << 0;
        QTest::newRow("stopped before it was ready") << SpeechEngine::State::ready << true << 0;
    }
    void startingEngine()
    {
        QFETCH(SpeechEngine::State, outcome);
        QFETCH(bool, pressedAgain);
        QFETCH(int, utterances);
        m_speech->setState(SpeechEngine::State::starting);
        m_viewModel->setTranslatedText("Hallo");
        m_viewModel->toggleSpeech();
        QVERIFY(m_viewModel->isSpeaking());
        QVERIFY(m_speech->spoken.isEmpty());
        if (pressedAgain) {
            m_viewModel->toggleSpeech();
        }
        m_speech->setState(outcome);
        QTRY_COMPARE(m_speech->spoken.size(), utterances);
        QTRY_COMPARE(m_viewModel->isSpeaking(), utterances == 1);
    }

    // A failure that is none of ours still ends the busy state, with a word about it.
    void unexpectedFailureEndsTheBusyState()
    {
        m_translator->apiKey = []() -> QCoro::Task<QString> {
            throw std::runtime_error("not a translation failure");
            co_return QString();
        };
        choose("en", {}, "de");
        m_viewModel->setSourceText("Hello");
        m_viewModel->translate();
        QTRY_VERIFY(!m_viewModel->isTranslating());
        QCOMPARE(m_viewModel->errorMessage(), TranslatorViewModel::unexpectedFailureMessage);
    }

    void unavailableEngineNeverSpeaks()
    {
        m_speech->setState(SpeechEngine::State::unavailable);
        m_viewModel->setTranslatedText("Hallo");
        m_viewModel->toggleSpeech();
        QVERIFY(!m_viewModel->isSpeaking());
        QVERIFY(m_speech->spoken.isEmpty());
    }

private:
    void start(const QByteArray &ini = {},
               std::unique_ptr<FakeLanguageRecognizer> recognizer = nullptr)
    {
        cleanup();
        FakeLanguageRecognizer *given = recognizer.get();
        m_translator = std::make_unique<TestTranslator>(ini, std::move(recognizer));
        m_viewModel = m_translator->viewModel.get();
        m_server = &m_translator->server;
        m_settings = &m_translator->settings;
        m_recognizer = given ? given : m_translator->recognizer;
        m_speech = m_translator->speech;
        m_viewModel->setDebounceInterval(20ms);
    }

    // `detected` (empty: nothing) is what the recogniser will hear.
    void choose(const QString &source, const QString &detected, const QString &target)
    {
        if (!detected.isEmpty()) {
            m_recognizer->dominant = detected;
        }
        m_viewModel->setSourceLanguage(lang(qPrintable(source)));
        m_viewModel->setTargetLanguage(lang(qPrintable(target)));
    }

    // Lets the pending debounce fire and every request finish.
    void settle()
    {
        QTRY_VERIFY(!m_viewModel->isDebouncePending() && !m_viewModel->isTranslating());
    }

    std::unique_ptr<TestTranslator> m_translator;
    TranslatorViewModel *m_viewModel = nullptr;
    TestHttpServer *m_server = nullptr;
    QSettings *m_settings = nullptr;
    FakeLanguageRecognizer *m_recognizer = nullptr;
    FakeSpeechEngine *m_speech = nullptr;
};

QTEST_GUILESS_MAIN(TestTranslatorViewModel)
#include "tst_translatorviewmodel.moc"
