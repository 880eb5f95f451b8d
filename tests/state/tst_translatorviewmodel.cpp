// The translator's state, driven as the popover drives it, over the real translation engine
// talking to a local DeepSeek stand-in, a scripted recogniser and a fake speech engine.
#include "testtranslator.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Voice = SpeechEngine::Voice;
using State = SpeechEngine::State;

namespace {

Language lang(const QString &id)
{
    return *Language::find(Language::sourceLanguages(), id);
}

QString ids(const QList<Language> &languages)
{
    QStringList result;
    for (const Language &language : languages) {
        result.append(language.id);
    }
    return result.join(u',');
}

// `count` user-perceived characters, most of them several UTF-16 units.
QString graphemes(int count)
{
    const QStringList pieces{u"🇩🇪"_s, u"e\u0301"_s, u"👍🏽"_s, u"a\u0308\u0323"_s};
    QString text;
    for (int i = 0; i < count; ++i) {
        text += pieces[i % pieces.size()];
    }
    return text;
}

// A text typed with an automatic source unless `source` says otherwise, and what comes of it.
struct ErrorCase
{
    bool recogniserThrows = false;
    QString source = "auto";
    QString text = "!!!";
    QString key = "k"; // null: asking for the key throws
    TestHttpServer::Reply reply{};
    int requests = 0;
    QString translation = "old";
    QString message{};
};

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

    // Pills: auto and two recent sources, three recent targets, filled up in catalogue order.
    // A choice that is no pill goes first among the stored recents, five at most; removing,
    // inserting and dropping the sixth are each announced.
    void recentLanguages_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QStringList>("choices"); // ">de": the target de
        QTest::addColumn<QString>("languages");   // pills, then stored recents: source | target
        QTest::addColumn<int>("announcements");
        const auto row = [](const char *name, QString ini, QStringList choices, QString languages,
                            int announcements) {
            QTest::newRow(name) << ini << choices << languages << announcements;
        };
        row("stored: auto among the sources, four targets",
            "recentSourceLanguages=de, auto, fr\nrecentTargetLanguages=ja, ko, uk, fi", {},
            "auto,de,fr | ja,ko,uk | de,auto,fr | ja,ko,uk,fi", 0);
        row("stored: unknown ids keep their places",
            "recentSourceLanguages=auto, xx, de\nrecentTargetLanguages=xx, de", {},
            "auto,de,en | de,en,zh-Hans | auto,xx,de | xx,de", 0);
        row("stored: auto is no target, twice is once", "recentTargetLanguages=auto, de, de", {},
            "auto,en,ru | de,en,zh-Hans |  | auto,de,de", 0);
        row("a pill changes nothing", "", {"en", "ru", "auto", ">ru", ">tr"},
            "auto,en,ru | ru,en,tr |  | ", 0);
        row("source menu choice", "", {"de"}, "auto,de,en | ru,en,tr | de,auto,en,ru | ", 1);
        row("target menu choice", "", {">de"}, "auto,en,ru | de,ru,en |  | de,ru,en,tr", 1);
        row("six choices keep five", "", {">de", ">fr", ">it", ">es", ">pt", ">ja"},
            "auto,en,ru | ja,pt,es |  | ja,pt,es,it,fr", 10);
        row("back to one that fell off the pills", "", {">de", ">fr", ">it", ">ru"},
            "auto,en,ru | ru,it,fr |  | ru,it,fr,de,en", 6);
    }
    void recentLanguages()
    {
        QFETCH(QString, ini);
        QFETCH(QStringList, choices);
        QFETCH(QString, languages);
        QFETCH(int, announcements);
        start(ini.toUtf8());
        QSignalSpy sources(m_viewModel, &TranslatorViewModel::recentSourceLanguagesChanged);
        QSignalSpy targets(m_viewModel, &TranslatorViewModel::recentTargetLanguagesChanged);
        for (const QString &choice : choices) {
            choice.startsWith('>') ? m_viewModel->setTargetLanguage(lang(choice.mid(1)))
                                   : m_viewModel->setSourceLanguage(lang(choice));
        }
        QCOMPARE(QStringList({ids(m_viewModel->sourcePillLanguages()),
                              ids(m_viewModel->targetPillLanguages()),
                              m_settings->value("recentSourceLanguages").toStringList().join(','),
                              m_settings->value("recentTargetLanguages").toStringList().join(',')})
                     .join(" | "),
                 languages);
        QCOMPARE(sources.count() + targets.count(), announcements);
        QCOMPARE(m_viewModel->sourceMoreLanguages().size(), Language::sourceLanguages().size() - 3);
        if (ini.isEmpty() && announcements == 0) {
            QVERIFY(m_settings->allKeys().isEmpty()); // nor did the start write anything
        }
    }

    // A target equal to the source gives way to the most recent offered target that differs.
    void resolveLanguageConflict()
    {
        const QList<QStringList> cases{// stored recent targets, language, resolved
                                       {"", "ru", "en"},
                                       {"en", "en", "ru"},
                                       {"de, xx", "de", "ru"},
                                       {"xx, fr, de", "de", "fr"}};
        for (const QStringList &c : cases) {
            start(c[0].isEmpty() ? QByteArray() : "recentTargetLanguages=" + c[0].toUtf8());
            QCOMPARE(m_viewModel->resolveLanguageConflict(c[1], c[1]), c[2]);
        }
    }

    // Detection on every keystroke, one request once typing stops; a detected language equal
    // to the target moves the target first.
    void typingDetectsAtOnceAndTranslatesOnce()
    {
        m_recognizer->dominant = "en";
        for (const QString &typed : {u"H"_s, u"He"_s, u"Hel"_s, u"Hell"_s, u"Hello"_s}) {
            m_viewModel->setSourceText(typed);
        }
        QCOMPARE(m_recognizer->processed, (QStringList{"H", "He", "Hel", "Hell", "Hello"}));
        QCOMPARE(m_viewModel->detectedLanguage(), lang("en"));
        QVERIFY(m_server->requests().isEmpty());
        settle();
        QCOMPARE(sent(), QStringList{"en>ru Hello"});
        QCOMPARE(m_viewModel->targetLanguage(), lang("ru"));
        // The same text again waits anew; a language or a style asks for nothing.
        m_viewModel->setSourceText("Hello");
        QVERIFY(m_viewModel->isDebouncePending());
        settle();
        QSignalSpy styleChanges(m_viewModel, &TranslatorViewModel::translationStyleChanged);
        m_viewModel->setTargetLanguage(lang("fr"));
        m_viewModel->setTranslationStyle(TranslationStyle::standard);
        QVERIFY(!m_viewModel->isDebouncePending() && !m_viewModel->isTranslating());
        QCOMPARE(styleChanges.count(), 0); // an equal value is not announced, but stored
        QCOMPARE(m_settings->value("translationStyle").toString(), "standard");
        // A source language of the user's choice is not detected.
        m_viewModel->setSourceLanguage(lang("de"));
        m_viewModel->setSourceText("Hallo");
        QCOMPARE(m_recognizer->processed.size(), 6);
        QCOMPARE(m_viewModel->detectedLanguage(), lang("en"));
        // Clearing keeps the languages.
        m_viewModel->clear();
        QCOMPARE(m_viewModel->sourceText() + m_viewModel->translatedText(), "");
        QCOMPARE(m_viewModel->detectedLanguage(), std::nullopt);
        QCOMPARE(m_viewModel->targetLanguage(), lang("fr"));
        settle();
        QCOMPARE(sent().size(), 1);
        // Translating while the debounce runs sends twice: a failure is not cached.
        m_server->enqueue({.status = 500, .body = "{}"});
        m_viewModel->setSourceText("Hallo");
        m_viewModel->translate();
        QVERIFY(m_viewModel->isTranslating() && m_viewModel->isDebouncePending());
        settle();
        QCOMPARE(sent(), (QStringList{"en>ru Hello", "de>fr Hallo", "de>fr Hallo"}));
    }

    // Counted in user-perceived characters; what is accepted goes out unchanged.
    void lengthLimit_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("after"); // equal to before: refused
        const QString limit = graphemes(5000);
        QTest::newRow("5000 characters") << u""_s << limit << limit;
        QTest::newRow("5001 characters") << u"abc"_s << graphemes(5001) << u"abc"_s;
        // One character however many marks; only the size of the text bounds them.
        QTest::newRow("100,000 combining marks")
            << u"ab"_s << QString(100000, QChar(0x301)) << u"ab"_s;
        QTest::newRow("6000 pasted into nothing") << u""_s << QString(6000, 'x') << u""_s;
    }
    void lengthLimit()
    {
        QFETCH(QString, before);
        QFETCH(QString, typed);
        QFETCH(QString, after);
        const bool refused = after == before;
        m_viewModel->setSourceLanguage(lang("de"));
        m_viewModel->setSourceText(before);
        QSignalSpy shown(m_viewModel, &TranslatorViewModel::sourceTextChanged);
        m_viewModel->setSourceText(typed);
        QCOMPARE(m_viewModel->sourceText(), after);
        for (const QList<QVariant> &announced : shown) { // a refused text, not even for a moment
            QVERIFY(!refused || announced.first().toString() != typed);
        }
        QCOMPARE(m_viewModel->errorMessage(),
                 refused ? TranslatorViewModel::textTooLongMessage : QString());
        settle();
        // What stays is translated; with an empty text the message stays, no request clears it.
        QCOMPARE(sent(), after.isEmpty() ? QStringList() : QStringList{"de>en " + after});
        QCOMPARE(m_viewModel->translatedText(), after.isEmpty() ? "" : "Hallo");
        QCOMPARE(!m_viewModel->errorMessage().isEmpty(), refused && after.isEmpty());
    }

    // Blank text empties the translation; otherwise a failure is shown, the earlier translation
    // stays, nothing is kept and the busy state ends.
    void errorStates_data()
    {
        QTest::addColumn<ErrorCase>("c");
        const QString undetected = TranslatorViewModel::detectionFailedMessage;
        const auto row = [](const char *name, ErrorCase c) { QTest::newRow(name) << c; };
        row("blank", {.text = "   ", .translation = ""});
        row("nothing recognised", {.message = undetected});
        row("recogniser throws", {.recogniserThrows = true, .message = undetected});
        row("server error", {.source = "de",
                             .reply = {.status = 500},
                             .requests = 1,
                             .message = "Network request to DeepSeek failed"});
        row("refused without a key", {.source = "de",
                                      .key = "",
                                      .reply = {.status = 401},
                                      .requests = 1,
                                      .message = "Add your DeepSeek API key in Settings."});
        row("a failure none of ours", {.source = "de",
                                       .key = QString(),
                                       .message = TranslatorViewModel::unexpectedFailureMessage});
    }
    void errorStates()
    {
        QFETCH(ErrorCase, c);
        if (c.recogniserThrows) {
            start({}, std::make_unique<ThrowingRecognizer>());
        }
        m_server->setDefaultReply(c.reply);
        m_translator->apiKey = [key = c.key]() -> QCoro::Task<QString> {
            if (key.isNull()) {
                throw std::runtime_error("not a translation failure");
            }
            co_return key;
        };
        m_viewModel->setSourceLanguage(lang(c.source));
        m_viewModel->setTranslatedText("old");
        m_viewModel->setSourceText(c.text);
        settle();
        QCOMPARE(m_viewModel->translatedText(), c.translation);
        QVERIFY2(m_viewModel->errorMessage().startsWith(c.message) &&
                     m_viewModel->errorMessage().isEmpty() == c.message.isEmpty(),
                 qPrintable(m_viewModel->errorMessage()));
        QCOMPARE(m_server->requests().size(), c.requests);
        QCOMPARE(m_translator->cache.count(), 0);
    }

    void theNewestRequestWins()
    {
        for (const int firstDelay : {400, 0}) {
            start();
            m_server->enqueue({.body = TestHttpServer::completion("first"),
                               .delay = std::chrono::milliseconds(firstDelay)});
            m_server->enqueue({.body = TestHttpServer::completion("second"),
                               .delay = std::chrono::milliseconds(400 - firstDelay)});
            QSignalSpy results(m_viewModel, &TranslatorViewModel::translatedTextChanged);
            QSignalSpy busy(m_viewModel, &TranslatorViewModel::isTranslatingChanged);
            m_viewModel->setSourceLanguage(lang("de"));
            m_viewModel->setDebounceInterval(1h);
            m_viewModel->setSourceText("eins");
            m_viewModel->translate();
            m_viewModel->setSourceText("zwei");
            m_viewModel->translate();
            QTRY_COMPARE(m_translator->cache.count(), 2);
            QCOMPARE(m_viewModel->translatedText(), "second");
            QCOMPARE(results.count(), 1);
            QCOMPARE(busy.count(), 2); // true once, false once
        }
    }

    // A real exchange: an automatic source stands for the language detected in it, or English.
    // A translation too long to be a source refuses the whole exchange, so nothing is lost.
    void swap_data()
    {
        QTest::addColumn<QString>("languages"); // source, detected, target
        QTest::addColumn<QString>("translation");
        QTest::addColumn<QString>("swapped"); // source>target
        QTest::newRow("fixed languages") << u"de - fr"_s << u"Salut"_s << u"fr>de"_s;
        QTest::newRow("auto, German detected") << u"auto de ru"_s << u"Привет"_s << u"ru>de"_s;
        QTest::newRow("auto, nothing detected") << u"auto - ru"_s << u"Привет"_s << u"ru>en"_s;
        QTest::newRow("no translation") << u"de - fr"_s << u""_s << u"fr>de"_s;
        QTest::newRow("translation over the limit")
            << u"de - fr"_s << QString(5001, 'x') << u"de>fr"_s;
    }
    void swap()
    {
        QFETCH(QString, languages);
        QFETCH(QString, translation);
        QFETCH(QString, swapped);
        const QStringList chosen = languages.split(u' ');
        if (chosen[1] != "-") {
            m_recognizer->dominant = chosen[1];
        }
        m_viewModel->setSourceLanguage(lang(chosen[0]));
        m_viewModel->setTargetLanguage(lang(chosen[2]));
        m_viewModel->setSourceText("Hallo");
        m_viewModel->setTranslatedText(translation);
        m_viewModel->swapLanguages();
        QCOMPARE(m_viewModel->sourceLanguage().id + '>' + m_viewModel->targetLanguage().id,
                 swapped);
        const bool refused = translation.size() > 5000;
        QCOMPARE(m_viewModel->sourceText(), refused ? u"Hallo"_s : translation);
        QCOMPARE(m_viewModel->translatedText(), refused ? translation : u"Hallo"_s);
        QCOMPARE(m_viewModel->errorMessage(),
                 refused ? TranslatorViewModel::textTooLongMessage : QString());
        settle();
        if (!refused) {
            QCOMPARE(sent(), translation.isEmpty() ? QStringList()
                                                   : QStringList{swapped + ' ' + translation});
        }
    }

    void voiceChoice_data()
    {
        QTest::addColumn<QList<Voice>>("installed");
        QTest::addColumn<QList<Voice>>("lookup"); // what the engine finds by the full id
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("voice"); // id, empty for the engine's default
        const Voice enUS{"us", "en-US", SpeechEngine::Quality::standard};
        const Voice enGB{"gb", "en-GB", SpeechEngine::Quality::enhanced};
        const Voice zhCN{"cn", "zh-CN", SpeechEngine::Quality::standard};
        const Voice zhTW{"tw", "zh-TW", SpeechEngine::Quality::premium};
        QTest::newRow("enhanced wins wherever it stands")
            << QList<Voice>{enUS, zhCN, enGB} << QList<Voice>{} << u"en"_s << u"gb"_s;
        QTest::newRow("zh-Hant takes any zh voice, better first")
            << QList<Voice>{zhCN, zhTW} << QList<Voice>{} << u"zh-Hant"_s << u"tw"_s;
        QTest::newRow("first of equal voices") << QList<Voice>{zhCN, Voice{"cn2", "zh-HK"}}
                                               << QList<Voice>{} << u"zh-Hans"_s << u"cn"_s;
        QTest::newRow("fi is not fil")
            << QList<Voice>{Voice{"ph", "fil-PH", SpeechEngine::Quality::enhanced},
                            Voice{"fi", "fi-FI"}}
            << QList<Voice>{} << u"fi"_s << u"fi"_s;
        QTest::newRow("Norwegian voices are Bokmål")
            << QList<Voice>{enUS, Voice{"nb", "nb-NO"}} << QList<Voice>{} << u"no"_s << u"nb"_s;
        QTest::newRow("no prefix match, lookup")
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
        m_viewModel->setTargetLanguage(lang(target));
        m_viewModel->setTranslatedText("Text");
        m_viewModel->toggleSpeech();
        QVERIFY(m_viewModel->isSpeaking());
        QCOMPARE(m_speech->spoken.size(), 1);
        const std::optional<Voice> &chosen = m_speech->spoken.first().voice;
        QCOMPARE(chosen ? chosen->id : QString(), voice);
    }

    // The button stops whatever the engine does and says the text of the moment. Only the
    // report of the utterance under way ends the speaking, once the GUI thread takes it.
    void speakButton()
    {
        for (const bool cancelled : {false, true}) {
            start();
            pressSpeakButton(cancelled);
        }
    }

    // What is asked while the engine starts is said once it is ready, unless stopped before.
    void startingEngine_data()
    {
        QTest::addColumn<State>("initial");
        QTest::addColumn<bool>("pressedAgain");
        QTest::addColumn<State>("outcome");
        QTest::addColumn<int>("utterances");
        QTest::newRow("becomes ready") << State::starting << false << State::ready << 1;
        QTest::newRow("becomes unavailable") << State::starting << false << State::unavailable << 0;
        QTest::newRow("stopped before it was ready")
            << State::starting << true << State::ready << 0;
        QTest::newRow("unavailable from the start")
            << State::unavailable << false << State::unavailable << 0;
    }
    void startingEngine()
    {
        QFETCH(State, initial);
        QFETCH(bool, pressedAgain);
        QFETCH(State, outcome);
        QFETCH(int, utterances);
        m_speech->setState(initial);
        m_viewModel->setTranslatedText("Hallo");
        m_viewModel->toggleSpeech();
        QCOMPARE(m_viewModel->isSpeaking(), initial == State::starting);
        QVERIFY(m_speech->spoken.isEmpty());
        if (pressedAgain) {
            m_viewModel->toggleSpeech();
        }
        m_speech->setState(outcome);
        QTRY_COMPARE(m_speech->spoken.size(), utterances);
        QTRY_COMPARE(m_viewModel->isSpeaking(), utterances == 1);
    }

private:
    void pressSpeakButton(bool cancelled)
    {
        QSignalSpy speaking(m_viewModel, &TranslatorViewModel::isSpeakingChanged);
        m_viewModel->toggleSpeech(); // nothing to say, and no engine started for it
        QVERIFY(!m_viewModel->isSpeaking());
        QCOMPARE(m_translator->speechEnginesMade, 0);

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

        const quint64 stopped = m_speech->spoken.first().id;
        QVERIFY(m_speech->spoken.last().id != stopped);
        m_speech->cancelFromAnotherThread(stopped);
        QCoreApplication::sendPostedEvents(m_viewModel);
        QVERIFY(m_viewModel->isSpeaking());
        cancelled ? m_speech->cancelFromAnotherThread() : m_speech->finishFromAnotherThread();
        QVERIFY(m_viewModel->isSpeaking()); // nothing happens before the GUI thread looks
        QTRY_VERIFY(!m_viewModel->isSpeaking());
        QCOMPARE(speaking.count(), 4);
    }

    void start(const QByteArray &ini = {},
               std::unique_ptr<FakeLanguageRecognizer> recognizer = nullptr)
    {
        cleanup();
        FakeLanguageRecognizer *given = recognizer.get();
        m_translator = std::make_unique<TestTranslator>(ini.isEmpty() ? ini : "[General]\n" + ini,
                                                        std::move(recognizer));
        m_viewModel = m_translator->viewModel.get();
        m_server = &m_translator->server;
        m_settings = &m_translator->settings;
        m_recognizer = given ? given : m_translator->recognizer;
        m_speech = m_translator->speech;
        m_viewModel->setDebounceInterval(20ms);
    }

    // Lets the pending debounce fire and every request finish.
    void settle()
    {
        QTRY_VERIFY(!m_viewModel->isDebouncePending() && !m_viewModel->isTranslating());
    }

    // The requests so far, each as "from>to text".
    QStringList sent() const
    {
        QStringList requests;
        for (const TestHttpServer::Request &request : m_server->requests()) {
            const QJsonDocument body = QJsonDocument::fromJson(request.body);
            const QStringList prompt =
                body["messages"][0]["content"].toString().section(u'.', 0, 0).split(u' ');
            requests.append(prompt.value(2) + '>' + prompt.value(4) + ' ' +
                            body["messages"][1]["content"].toString());
        }
        return requests;
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
