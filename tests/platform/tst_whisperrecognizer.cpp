// WhisperRecognizer with whisper's weightless test model: it loads and runs, but recognises
// nothing.
#include "speechrecognitionerror.h"
#include "waitfortask.h"
#include "whisperrecognizer.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

const QString testModel = QStringLiteral(WHISPER_DIR "/models/for-tests-ggml-tiny.bin");
using Code = SpeechRecognitionError::Code;
Q_DECLARE_METATYPE(Code)

class TestWhisperRecognizer : public QObject
{
    Q_OBJECT

private slots:
    void mapsCatalogueIdsToWhisperCodes_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("code");
        for (const auto &[id, code] : {std::pair{"en", "en"},
                                       {"zh-Hans", "zh"},
                                       {"zh-Hant", "zh"},
                                       {"fil", "tl"},
                                       {"nb", "no"},
                                       {"auto", "auto"},
                                       {"ga", "auto"},        // Irish: whisper has no Irish
                                       {"german", "auto"}}) { // a name whisper takes, no id
            QTest::newRow(id) << QString::fromLatin1(id) << QString::fromLatin1(code);
        }
    }
    void mapsCatalogueIdsToWhisperCodes()
    {
        QFETCH(QString, id);
        QTEST(WhisperRecognizer::whisperLanguage(id), "code");
    }

    // Whatever the file holds, the answer is the model's refusal, never a crash.
    void refusesFilesThatAreNoModel_data()
    {
        QFile file(testModel);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray model = file.readAll();
        QRandomGenerator generator(7); // the same bytes every run
        QByteArray random(4096, '\0');
        for (char &byte : random) {
            byte = char(generator.generate());
        }
        QByteArray wrongWeightType = model;
        wrongWeightType[4 + 10 * 4] = 42;
        QByteArray hugeVocabulary = model;
        hugeVocabulary.replace(4, 4, QByteArray::fromHex("ffffff7f"));
        // A tensor header whose data is not all there.
        const QByteArray cutTensor = model + QByteArray::fromHex("02000000 04000000 01000000") +
                                     QByteArray::fromHex("80010000 80010000") + "abcd" +
                                     QByteArray(100, '\0');

        QTest::addColumn<QByteArray>("content"); // empty: no file at all
        QTest::addColumn<Code>("code");
        QTest::newRow("missing") << QByteArray() << Code::modelMissing;
        QTest::newRow("empty file") << QByteArray("") << Code::modelDamaged;
        QTest::newRow("truncated in the vocabulary") << model.left(300000) << Code::modelDamaged;
        QTest::newRow("random bytes after the magic")
            << model.left(4) + random << Code::modelDamaged;
        QTest::newRow("unknown weight type") << wrongWeightType << Code::modelDamaged;
        QTest::newRow("huge vocabulary") << hugeVocabulary << Code::modelDamaged;
        QTest::newRow("tensor cut short") << cutTensor << Code::modelDamaged;
    }
    void refusesFilesThatAreNoModel()
    {
        QFETCH(QByteArray, content);
        QFETCH(Code, code);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ggml-base.bin"));
        if (!content.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        WhisperRecognizer recognizer(path);
        try {
            waitForTask(recognizer.transcribe(std::vector<float>(16000, 0.0f), "en"));
            QFAIL("accepted");
        } catch (const SpeechRecognitionError &error) {
            QCOMPARE(error.code(), code);
        }
        QVERIFY(!recognizer.isModelLoaded());
    }

    // Requests made while one is under way all get their answer; the model goes once none
    // has come for the idle time, and comes back for the next.
    void servesOverlappingRequestsThenReleasesTheModel()
    {
        WhisperRecognizer recognizer(testModel, 50ms);
        QSignalSpy loaded(&recognizer, &WhisperRecognizer::modelLoadedChanged);
        int answered = 0;
        auto request = [&]() -> QCoro::Task<> {
            co_await recognizer.transcribe({}, "auto");
            ++answered;
        };
        QCoro::Task<> first = request(), second = request(), third = request();
        QTRY_COMPARE(answered, 3);
        QTRY_COMPARE(loaded.size(), 2);
        QCOMPARE(loaded.at(0).at(0), true);
        QCOMPARE(loaded.at(1).at(0), false);
        waitForTask(recognizer.transcribe({}, "en"));
        QVERIFY(recognizer.isModelLoaded());
    }
};

QTEST_GUILESS_MAIN(TestWhisperRecognizer)
#include "tst_whisperrecognizer.moc"
