#include "cld2languagerecognizer.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestCld2LanguageRecognizer : public QObject
{
    Q_OBJECT

private slots:
    // Nynorsk under the catalogue's one Norwegian, a language only the full tables know, a single
    // word (best-effort detection), traditional Chinese as its own; blank text after a recognised
    // one; and characters CLD2 would refuse the whole text for, which must be skipped.
    void recognises_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // empty: none

        const QString french = u"Bonjour à tous, comment allez-vous"_s;
        QTest::newRow("no (Nynorsk)")
            << u"I morgon tidleg skal vi vitje besteforeldra mine, som bur i ei lita bygd ved sjøen."_s
            << u"no"_s;
        QTest::newRow("zu (full tables)")
            << u"Kusasa ekuseni sizovakashela ugogo nomkhulu abahlala "
               "edolobhaneni elincane eduze nolwandle."_s
            << u"zu"_s;
        QTest::newRow("one word") << u"Hello"_s << u"en"_s;
        QTest::newRow("zh-Hant") << u"我們今天晚上一起去看電影吧，好嗎？"_s << u"zh-Hant"_s;
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("control characters only") << QStringLiteral("\0\x01 \x7f\x1b") << QString();
        QTest::newRow("NUL, escape, C1 inside")
            << u"\x1b[2J"_s + french.left(15) + QChar(0) + QChar(0x85) + french.mid(15) << u"fr"_s;
        QTest::newRow("noncharacter") << french + QChar(0xfffe) << u"fr"_s;
        QTest::newRow("astral noncharacter") << french + QChar(0xdbff) + QChar(0xdfff) << u"fr"_s;
        QTest::newRow("lone surrogate at the end") << french + QChar(0xd800) << u"fr"_s;
    }
    void recognises()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);

        // A previous answer must not survive into the next text.
        Cld2LanguageRecognizer recognizer;
        recognizer.processString(u"Guten Morgen, wie geht es dir heute?"_s);
        recognizer.processString(text);
        QCOMPARE(recognizer.dominantLanguage().value_or(QString()), expected);
        QCOMPARE(recognizer.languageHypotheses(10).isEmpty(), expected.isEmpty());
    }
    void hypothesesFollowCld2_data()
    {
        // CLD2 puts Filipino (35 %) just ahead of Hebrew (33 %) and Chinese (31 %) here; all three
        // arrive under their catalogue tags.
        QTest::addColumn<int>("maximum");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("negative") << -1 << QStringList();
        QTest::newRow("one") << 1 << QStringList{u"fil"_s};
        QTest::newRow("more than CLD2 has") << 10 << QStringList{u"fil"_s, u"he"_s, u"zh-Hans"_s};
    }
    void hypothesesFollowCld2()
    {
        QFETCH(int, maximum);
        QFETCH(QStringList, expected);

        Cld2LanguageRecognizer recognizer;
        recognizer.processString(
            u"מחר בבוקר ניסע לבקר את סבא וסבתא שלי, שגרים בכפר קטן ליד הים. Bukas "
            "ng umaga ay bibisitahin namin ang aking lolo at lola na nakatira sa "
            "isang maliit na baryo malapit sa dagat. 这个周末天气很好，我们打算带孩"
            "子去公园散步，然后在附近的小饭馆吃午饭。"_s);
        QStringList tags;
        double total = 0.0;
        for (const LanguageRecognizer::Hypothesis &hypothesis :
             recognizer.languageHypotheses(maximum)) {
            tags << hypothesis.tag;
            total += hypothesis.probability;
            QVERIFY2(hypothesis.probability > 0.25 && hypothesis.probability < 0.4,
                     qPrintable(hypothesis.tag));
        }
        QCOMPARE(tags, expected);
        QVERIFY(total <= 1.0);
        QCOMPARE(recognizer.dominantLanguage(), u"fil"_s);
    }
};

QTEST_APPLESS_MAIN(TestCld2LanguageRecognizer)
#include "tst_cld2languagerecognizer.moc"
