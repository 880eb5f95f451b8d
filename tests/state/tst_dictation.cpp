// Dictation over a fake microphone and recogniser, with models served from 127.0.0.1.
#include "dictation.h"
#include "fakedictationbackend.h"
#include "testtranslator.h"

#include <QSignalSpy>
#include <QTest>

using State = Dictation::State;
using Failure = AudioRecorder::Failure;

class TestDictationFlow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_translator = std::make_unique<TestTranslator>();
        m_fixture = std::make_unique<TestDictation>(
            m_translator->preferences, *m_translator->viewModel, modelFolder(),
            m_translator->server.url("/models"), QStringList{"base"});
    }
    void cleanup()
    {
        m_fixture.reset();
        m_translator.reset();
    }

    // One utterance from press to words (or to the reason there are none).
    void utterance_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("heard");
        QTest::addColumn<QString>("failure");
        // -1: it works; else how it fails at the first press (`message`), not the second.
        QTest::addColumn<int>("microphone");
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("message");

        QTest::newRow("words, language detected") << "auto"
                                                  << " Hello there. "
                                                  << "" << -1 << "Hello there."
                                                  << "";
        QTest::newRow("in the source pill's language") << "zh-Hant"
                                                       << "你好"
                                                       << "" << -1 << "你好"
                                                       << "";
        QTest::newRow("silence") << "auto"
                                 << " \n"
                                 << "" << -1 << ""
                                 << "Nothing was heard";
        QTest::newRow("model does not load") << "auto"
                                             << ""
                                             << "The speech model is damaged." << -1 << ""
                                             << "The speech model is damaged.";
        QTest::newRow("no microphone") << "auto"
                                       << "x"
                                       << "" << int(Failure::noDevice) << "x"
                                       << "No microphone found";
        QTest::newRow("microphone busy")
            << "auto"
            << "x"
            << "" << int(Failure::busyOrRefused) << "x"
            << "The microphone is in use by another program, or access to it was refused.";
        QTest::newRow("sound system failure") << "auto"
                                              << "x"
                                              << "" << int(Failure::other) << "x"
                                              << "The sound system refused";
    }
    void utterance()
    {
        QFETCH(QString, source);
        QFETCH(QString, heard);
        QFETCH(QString, failure);
        QFETCH(int, microphone);
        QFETCH(QString, words);
        QFETCH(QString, message);
        m_translator->viewModel->setSourceLanguage(
            *Language::find(Language::sourceLanguages(), source));
        Dictation &dictation = m_fixture->dictation;
        FakeDictationBackend &backend = m_fixture->backend;
        backend.text = heard;
        if (!failure.isEmpty()) {
            backend.error = failure;
        }
        QSignalSpy recognized(&dictation, &Dictation::recognized);

        if (microphone >= 0) {
            backend.recorderFailure = Failure(microphone);
        }
        dictation.toggle();
        if (microphone >= 0) {
            QCOMPARE(dictation.state(), State::idle);
            QCOMPARE(dictation.message(), message);
            // Once the microphone is back, the next press records and the reason goes.
            backend.recorder->failure.reset();
            dictation.toggle();
            QCOMPARE(dictation.message(), QString());
        }
        QCOMPARE(dictation.state(), State::recording);
        dictation.toggle();
        QTRY_COMPARE(dictation.state(), State::idle);
        QCOMPARE(backend.recognizer->languages, QStringList{source});
        QCOMPARE(backend.recognizer->sampleCounts, QList<size_t>{16000});
        QCOMPARE(dictation.state(), State::idle);
        QCOMPARE(recognized.size(), words.isEmpty() ? 0 : 1);
        if (!words.isEmpty()) {
            QCOMPARE(recognized.first().first().toString(), words);
        }
        if (microphone < 0) {
            QCOMPARE(dictation.message(), message);
        }
    }

    // Without the model a press offers it; the download from the offer brings it, and the next
    // press records. A failed download is said and offered again.
    void offerAndDownload()
    {
        Dictation &dictation = m_fixture->dictation;
        dictation.setModelName("tiny");
        TestHttpServer &server = m_translator->server;
        server.enqueue({.status = 404, .body = "gone"});
        server.enqueue({.body = "tiny!"});

        dictation.toggle();
        QCOMPARE(dictation.state(), State::offeringModel);
        QVERIFY(dictation.message().contains(u"\u201ctiny\u201d"));
        QVERIFY(!m_fixture->backend.recorder);
        dictation.downloadModel();
        QCOMPARE(dictation.state(), State::downloading);
        QTRY_COMPARE(dictation.state(), State::offeringModel);
        QVERIFY(dictation.message().contains("404"));
        QCOMPARE(dictation.downloadError("tiny"), dictation.message());

        dictation.downloadModel();
        QTRY_COMPARE(dictation.state(), State::idle);
        QCOMPARE(dictation.downloadError("tiny"), QString());
        QCOMPARE(server.requests().last().target, "/models/ggml-tiny.bin");
        dictation.toggle();
        QCOMPARE(dictation.state(), State::recording);
        QCOMPARE(dictation.message(), QString());
        dictation.toggle();
        QTRY_COMPARE(dictation.state(), State::idle);
        QCOMPARE(m_fixture->backend.recognizerPaths, {modelFolder() + "/ggml-tiny.bin"});
        QCOMPARE(m_translator->preferences.dictationModel(), "tiny");

        // Removed, it is offered again; Escape withdraws the offer.
        dictation.removeModel("tiny");
        dictation.toggle();
        QCOMPARE(dictation.state(), State::offeringModel);
        dictation.cancel();
        QCOMPARE(dictation.state(), State::idle);
        QCOMPARE(dictation.message(), QString());
    }

    // Cancelling drops what was said, at each step; the next utterance is unaffected.
    void cancel_data()
    {
        QTest::addColumn<bool>("whileRecognizing");
        QTest::newRow("while recording") << false;
        QTest::newRow("while recognising") << true;
    }
    void cancel()
    {
        QFETCH(bool, whileRecognizing);
        Dictation &dictation = m_fixture->dictation;
        QSignalSpy recognized(&dictation, &Dictation::recognized);
        dictation.toggle();
        if (whileRecognizing) {
            dictation.toggle();
            QCOMPARE(dictation.state(), State::recognizing);
        }
        dictation.cancel();
        QCOMPARE(dictation.state(), State::idle);
        QVERIFY(!m_fixture->backend.recorder->recording);
        QTest::qWait(50); // the recogniser answers after 10 ms; its words must not arrive
        QCOMPARE(recognized.size(), 0);

        dictation.toggle();
        dictation.toggle();
        QTRY_COMPARE(recognized.size(), 1);
    }

    // A press while the words are being recognised starts nothing: they go in first.
    void pressWhileRecognizing()
    {
        Dictation &dictation = m_fixture->dictation;
        QSignalSpy recognized(&dictation, &Dictation::recognized);
        dictation.toggle();
        dictation.toggle();
        dictation.toggle();
        QCOMPARE(dictation.state(), State::recognizing);
        QVERIFY(!m_fixture->backend.recorder->recording);
        QTRY_COMPARE(dictation.state(), State::idle);
        QCOMPARE(recognized.size(), 1);
    }

    void moduleMissing()
    {
        m_fixture->backend.unavailable = true;
        m_fixture->dictation.toggle();
        QCOMPARE(m_fixture->dictation.state(), State::idle);
        QCOMPARE(m_fixture->dictation.message(), "Dictation is not part of this installation.");
    }

private:
    QString modelFolder() const { return m_translator->home.dataHome() + "/models"; }

    std::unique_ptr<TestTranslator> m_translator;
    std::unique_ptr<TestDictation> m_fixture;
};

QTEST_MAIN(TestDictationFlow)
#include "tst_dictation.moc"
