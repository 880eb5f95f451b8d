// How recogniser tags map onto the source catalogue.
#include "fakelanguagerecognizer.h"
#include "languagedetector.h"

#include <QTest>

using Hypotheses = QList<LanguageRecognizer::Hypothesis>;

class TestLanguageDetector : public QObject
{
    Q_OBJECT

private slots:
    void mapping_data()
    {
        QTest::addColumn<QString>("dominant"); // empty: no dominant language
        QTest::addColumn<Hypotheses>("hypotheses");
        QTest::addColumn<QString>("expected"); // empty: nothing detected
        QTest::newRow("regional tag") << "pt-BR" << Hypotheses{} << "pt";
        QTest::newRow("auto is never the answer")
            << "auto" << Hypotheses{{"auto", 0.9}, {"auto-x", 0.1}} << "";
        QTest::newRow("unmappable dominant: best mappable hypothesis")
            << "xx" << Hypotheses{{"xx", 0.90}, {"yy", 0.05}, {"it", 0.01}, {"fr", 0.04}} << "fr";
        QTest::newRow("equal probabilities keep their order")
            << "" << Hypotheses{{"nl", 0.5}, {"af", 0.5}} << "nl";
    }
    void mapping()
    {
        QFETCH(QString, dominant);
        QFETCH(Hypotheses, hypotheses);
        auto recognizer = std::make_unique<FakeLanguageRecognizer>();
        FakeLanguageRecognizer *fake = recognizer.get();
        fake->dominant = dominant.isEmpty() ? std::nullopt : std::optional(dominant);
        fake->hypotheses = hypotheses;
        LanguageDetector detector(std::move(recognizer));
        const std::optional<Language> language = detector.detect(QStringLiteral("  some text\n"));
        QTEST(language ? language->id : QString(), "expected");
        QCOMPARE(fake->processed, QStringList{"  some text\n"}); // untrimmed
        QVERIFY(!detector.detect(QStringLiteral(" \n\t ")));
        QCOMPARE(fake->resets, 1);
    }

    // Never a neighbour whose id starts the same (fi and fil, zh-Hans and zh-Hant).
    void matching()
    {
        for (const Language &language : Language::targetLanguages()) {
            QCOMPARE(LanguageDetector::match(language.id), language);
            QCOMPARE(LanguageDetector::match(language.id + QStringLiteral("-XY")), language);
        }
    }
};

QTEST_GUILESS_MAIN(TestLanguageDetector)
#include "tst_languagedetector.moc"
