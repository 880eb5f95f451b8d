// The view model over the real engine, a local DeepSeek stand-in and fake recognition and speech.
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

// A text typed with an automatic source unless `source` says otherwise, and what comes of it.
struct ErrorCase
{
    QString source = "auto";
    QString text = "!!!";
    QString key = "k"; // null: asking for the key throws
    TestHttpServer::Reply reply{};
    int requests = 0;
    QString translation = "old";
    QString message{};
};

} // namespace

class TestTranslatorViewModel : public QObject
{
    Q_OBJECT

private slots:
    void init() { start(); }
    void cleanup() { m_translator.reset(); }

    // Pills: auto and two recent sources, three recent targets, filled up in catalogue order. A
    // choice that is no pill goes first among the stored recents, five at most, each change told.
    // A target equal to the source gives way to the most recent offered target that differs.
    void recentLanguages_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QStringList>("choices"); // ">de": the target de
        QTest::addColumn<QString>("languages");   // pills, then stored recents: source | target
        QTest::addColumn<int>("announcements");
        QTest::addColumn<QString>("conflict"); // "de>fr": fr is the target when de is both
        const auto row = [](const char *name, QString ini, QStringList choices, QString languages,
                            int announcements, QString conflict) {
            QTest::newRow(name) << ini << choices << languages << announcements << conflict;
        };
        row("stored: auto among the sources, four targets",
            "recentSourceLanguages=de, auto, fr\nrecentTargetLanguages=ja, ko, uk, fi", {},
            "auto,de,fr | ja,ko,uk | de,auto,fr | ja,ko,uk,fi", 0, "ja>ko");
        row("stored: unknown ids keep their places",
            "recentSourceLanguages=auto, xx, de\nrecentTargetLanguages=xx, de", {},
            "auto,de,en | de,en,zh-Hans | auto,xx,de | xx,de", 0, "de>ru");
        row("stored: auto is no target, twice is once", "recentTargetLanguages=auto, de, de", {},
            "auto,en,ru | de,en,zh-Hans |  | auto,de,de", 0, "ru>de");
        row("a pill changes nothing", "", {"en", "ru", "auto", ">ru", ">tr"},
            "auto,en,ru | ru,en,tr |  | ", 0, "ru>en");
        row("source menu choice", "", {"de"}, "auto,de,en | ru,en,tr | de,auto,en,ru | ", 1,
            "en>ru");
        row("target menu choice", "", {">de"}, "auto,en,ru | de,ru,en |  | de,ru,en,tr", 1,
            "de>ru");
        row("six choices keep five", "", {">de", ">fr", ">it", ">es", ">pt", ">ja"},
            "auto,en,ru | ja,pt,es |  | ja,pt,es,it,fr", 10, "ja>pt");
        row("back to one that fell off the pills", "", {">de", ">fr", ">it", ">ru"},
            "auto,en,ru | ru,it,fr |  | ru,it,fr,de,en", 6, "ru>it");
    }
    void recentLanguages()
    {
        QFETCH(QString, ini);
        QFETCH(QStringList, choices);
        QFETCH(QString, languages);
        QFETCH(int, announcements);
        QFETCH(QString, conflict);
        start(ini.toUtf8());
        QSignalSpy sources(m_viewModel, &TranslatorViewModel::recentSourceLanguagesChanged);
        QSignalSpy targets(m_viewModel, &TranslatorViewModel::recentTargetLanguagesChanged);
        for (const QString &choice : choices) {
            choice.startsWith('>') ? m_viewModel->setTargetLanguage(lang(choice.mid(1)))
                                   : m_viewModel->setSourceLanguage(lang(choice));
        }
        const QSettings &stored = m_translator->settings;
        QCOMPARE(QStringList({ids(m_viewModel->sourcePillLanguages()),
                              ids(m_viewModel->targetPillLanguages()),
                              stored.value("recentSourceLanguages").toStringList().join(','),
                              stored.value("recentTargetLanguages").toStringList().join(',')})
                     .join(" | "),
                 languages);
        QCOMPARE(sources.count() + targets.count(), announcements);
        QCOMPARE(m_viewModel->sourceMoreLanguages().size(), Language::sourceLanguages().size() - 3);
        const QString both = conflict.section('>', 0, 0);
        QCOMPARE(m_viewModel->resolveLanguageConflict(both, both), conflict.section('>', 1));
    }

    // Detection on every keystroke, one request once typing stops; a detected language equal
    // to the target moves the target first.
    void typingDetectsAtOnceAndTranslatesOnce()
    {
        m_translator->recognizer->dominant = "en";
        for (const QString &typed : {u"H"_s, u"He"_s, u"Hel"_s, u"Hell"_s, u"Hello"_s}) {
            m_viewModel->setSourceText(typed);
        }
        QCOMPARE(m_translator->recognizer->processed,
                 (QStringList{"H", "He", "Hel", "Hell", "Hello"}));
        QCOMPARE(m_viewModel->detectedLanguage(), lang("en"));
        settle();
        QCOMPARE(sent(), QStringList{"en>ru Hello"});
        QCOMPARE(m_viewModel->targetLanguage(), lang("ru"));
        m_viewModel->setTargetLanguage(lang("fr"));
        m_viewModel->setTranslationStyle(TranslationStyle::standard); // neither asks for anything
        QVERIFY(!m_viewModel->isDebouncePending() && !m_viewModel->isTranslating());
        m_viewModel->setSourceLanguage(lang("de")); // then not detected
        m_viewModel->setSourceText("Hallo");
        QCOMPARE(m_translator->recognizer->processed.size(), 5);
        m_viewModel->clear(); // keeps the languages
        QCOMPARE(m_viewModel->sourceText() + m_viewModel->translatedText(), "");
        QCOMPARE(m_viewModel->detectedLanguage(), std::nullopt);
        QCOMPARE(m_viewModel->targetLanguage(), lang("fr"));
    }

    // Counted in user-perceived characters; what is accepted goes out unchanged. Typed, it waits
    // for the pause; taken from elsewhere (the selection), it goes at once with its language
    // detected. Refused either way, nothing changes but the message.
    void lengthLimit_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("typed");
        QTest::addColumn<bool>("refused");
        const QString limit =
            u"🇩🇪e\u0301👍🏽a\u0308\u0323"_s.repeated(1250); // 13 units a 4
        for (const bool typed : {true, false}) {
            const auto row = [typed](const char *name) -> QTestData & {
                return QTest::addRow("%s, %s", typed ? "typed" : "taken", name);
            };
            row("5000 characters") << limit << typed << false;
            row("5001 characters") << limit + 'x' << typed << true;
            row("100,000 combining marks") << QString(100000, QChar(0x301)) << typed << true;
        }
    }
    void lengthLimit()
    {
        QFETCH(QString, text);
        QFETCH(bool, typed);
        QFETCH(bool, refused);
        m_translator->recognizer->dominant = "fr";
        m_viewModel->setSourceLanguage(lang("de"));
        m_viewModel->setSourceText("ab");
        if (typed) {
            m_viewModel->setSourceText(text);
        } else {
            QCOMPARE(m_viewModel->translateText(text), !refused);
            QCOMPARE(m_viewModel->isTranslating(), !refused); // at once, and only now
            QCOMPARE(m_viewModel->isDebouncePending(), refused);
        }
        const QString after = refused ? u"ab"_s : text;
        QCOMPARE(m_viewModel->sourceText(), after);
        QCOMPARE(m_viewModel->sourceLanguage(), lang(typed || refused ? "de" : "auto"));
        QCOMPARE(m_viewModel->errorMessage(),
                 refused ? TranslatorViewModel::textTooLongMessage : QString());
        settle();
        QCOMPARE(sent(), QStringList{(typed || refused ? "de>en " : "fr>en ") + after});
        QCOMPARE(m_viewModel->errorMessage(), QString());
    }

    // Blank text empties the translation; otherwise a failure is shown, the earlier translation
    // stays and the busy state ends.
    void errorStates_data()
    {
        QTest::addColumn<ErrorCase>("c");
        const QString undetected = TranslatorViewModel::detectionFailedMessage;
        const auto row = [](const char *name, ErrorCase c) { QTest::newRow(name) << c; };
        row("blank", {.text = "   ", .translation = ""});
        row("nothing recognised", {.message = undetected});
        row("server error", {.source = "de",
                             .reply = {.status = 500},
                             .requests = 1,
                             .message = "Network request to DeepSeek failed"});
        row("a failure none of ours", {.source = "de",
                                       .key = QString(),
                                       .message = TranslatorViewModel::unexpectedFailureMessage});
    }
    void errorStates()
    {
        QFETCH(ErrorCase, c);
        m_translator->server.setDefaultReply(c.reply);
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
        QCOMPARE(m_viewModel->errorMessage(), c.message);
        QCOMPARE(m_translator->server.requests().size(), c.requests);
    }

    // The older request answers last.
    void theNewestRequestWins()
    {
        m_translator->server.enqueue({.body = TestHttpServer::completion("first"), .delay = 400ms});
        m_translator->server.enqueue({.body = TestHttpServer::completion("second")});
        QSignalSpy busy(m_viewModel, &TranslatorViewModel::isTranslatingChanged);
        m_viewModel->setSourceLanguage(lang("de"));
        m_viewModel->setDebounceInterval(1h);
        m_viewModel->setSourceText("eins");
        m_viewModel->translate();
        m_viewModel->setSourceText("zwei");
        m_viewModel->translate();
        QTRY_COMPARE(m_translator->cache.count(), 2);
        QCOMPARE(m_viewModel->translatedText(), "second");
        QCOMPARE(busy.count(), 2); // true once, false once
    }

    // A real exchange: an automatic source stands for the language detected in it, or English.
    // A translation too long to be a source refuses the whole exchange, so nothing is lost.
    void swap_data()
    {
        QTest::addColumn<QString>("detected");
        QTest::addColumn<QString>("translation");
        QTest::addColumn<QString>("swapped"); // source>target
        QTest::newRow("German detected") << u"de"_s << u"Привет"_s << u"ru>de"_s;
        QTest::newRow("nothing detected") << QString() << u"Привет"_s << u"ru>en"_s;
        QTest::newRow("translation over the limit")
            << u"de"_s << QString(5001, 'x') << u"auto>ru"_s;
    }
    void swap()
    {
        QFETCH(QString, detected);
        QFETCH(QString, translation);
        QFETCH(QString, swapped);
        if (!detected.isEmpty()) {
            m_translator->recognizer->dominant = detected;
        }
        m_viewModel->setTargetLanguage(lang("ru"));
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
    }

    // Which voice says the translation. What is asked while the engine starts is said once it is
    // ready, unless stopped before.
    void speech_data()
    {
        QTest::addColumn<QList<Voice>>("installed");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("voice"); // id, empty for the engine's default, "-": silence
        QTest::addColumn<QList<Voice>>("lookup"); // what the engine finds by the full id
        QTest::addColumn<State>("initial");
        QTest::addColumn<bool>("pressedAgain");
        QTest::addColumn<State>("outcome");
        const auto row = [](const char *name, const QList<Voice> &installed, const QString &target,
                            const QString &voice, const QList<Voice> &lookup = {},
                            State initial = State::ready, bool pressedAgain = false,
                            State outcome = State::ready) {
            QTest::newRow(name) << installed << target << voice << lookup << initial << pressedAgain
                                << outcome;
        };
        using Q = SpeechEngine::Quality;
        const Voice enUS{"us", "en-US"};
        row("zh-Hant takes any zh voice, better first",
            {enUS, {"cn", "zh-CN"}, {"tw", "zh-TW", Q::premium}}, "zh-Hant", "tw");
        row("fi is not fil", {{"ph", "fil-PH", Q::enhanced}, {"fi", "fi-FI"}}, "fi", "fi");
        row("Norwegian voices are Bokmål", {enUS, {"nb", "nb-NO"}}, "no", "nb");
        row("no prefix match, lookup", {enUS}, "fil", "fil", {{"fil", "fil"}});
        row("engine becomes ready", {}, "en", "", {}, State::starting);
        row("engine becomes unavailable", {}, "en", "-", {}, State::starting, false,
            State::unavailable);
        row("stopped before it was ready", {}, "en", "-", {}, State::starting, true);
        row("unavailable from the start", {}, "en", "-", {}, State::unavailable, false,
            State::unavailable);
    }
    void speech()
    {
        QFETCH(QList<Voice>, installed);
        QFETCH(QString, target);
        QFETCH(QString, voice);
        QFETCH(QList<Voice>, lookup);
        QFETCH(State, initial);
        QFETCH(bool, pressedAgain);
        QFETCH(State, outcome);
        m_speech->installedVoices = installed;
        m_speech->lookupVoices = lookup;
        m_speech->setState(initial);
        m_viewModel->setTargetLanguage(lang(target));
        m_viewModel->setTranslatedText("Text");
        m_viewModel->toggleSpeech();
        QCOMPARE(m_viewModel->isSpeaking(), initial != State::unavailable);
        QCOMPARE(m_speech->spoken.isEmpty(), initial != State::ready);
        if (pressedAgain) {
            m_viewModel->toggleSpeech();
        }
        m_speech->setState(outcome);
        QTRY_COMPARE(m_speech->spoken.size(), voice == "-" ? 0 : 1);
        QTRY_COMPARE(m_viewModel->isSpeaking(), voice != "-");
        if (voice != "-") {
            const std::optional<Voice> &chosen = m_speech->spoken.first().voice;
            QCOMPARE(chosen ? chosen->id : QString(), voice);
        }
    }

    // The button stops whatever the engine does and says the text of the moment. Only the
    // report of the utterance under way ends the speaking, once the GUI thread takes it.
    void speakButton()
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
        m_speech->cancelFromAnotherThread(m_speech->spoken.first().id); // the stopped one
        QCoreApplication::sendPostedEvents(m_viewModel);
        QVERIFY(m_viewModel->isSpeaking());
        m_speech->finishFromAnotherThread();
        QVERIFY(m_viewModel->isSpeaking()); // nothing happens before the GUI thread looks
        QTRY_VERIFY(!m_viewModel->isSpeaking());
        m_viewModel->toggleSpeech();
        m_speech->cancelFromAnotherThread();
        QTRY_VERIFY(!m_viewModel->isSpeaking());
        QCOMPARE(speaking.count(), 6);
    }

private:
    void start(const QByteArray &ini = {})
    {
        cleanup();
        m_translator = std::make_unique<TestTranslator>(ini.isEmpty() ? ini : "[General]\n" + ini);
        m_viewModel = m_translator->viewModel.get();
        m_speech = m_translator->speech;
        m_viewModel->setDebounceInterval(20ms);
    }

    void settle()
    {
        QTRY_VERIFY(!m_viewModel->isDebouncePending() && !m_viewModel->isTranslating());
    }

    // The requests so far, each as "from>to text".
    QStringList sent() const
    {
        QStringList requests;
        for (const TestHttpServer::Request &request : m_translator->server.requests()) {
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
    FakeSpeechEngine *m_speech = nullptr;
};

QTEST_GUILESS_MAIN(TestTranslatorViewModel)
#include "tst_translatorviewmodel.moc"
