#include "cld2languagerecognizer.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestCld2LanguageRecognizer : public QObject
{
    Q_OBJECT

private slots:
    void recognises_data();
    void recognises();
    void blankTextLeavesNoLanguage_data();
    void blankTextLeavesNoLanguage();
    void strayCharactersAreSkipped_data();
    void strayCharactersAreSkipped();
    void hypothesesFollowCld2_data();
    void hypothesesFollowCld2();
};

// CLD2's own codes that the catalogue spells differently (he, fil, zh-Hans, Nynorsk), close
// neighbours, a language only the full tables know (Zulu), and single words, which only
// best-effort detection answers.
void TestCld2LanguageRecognizer::recognises_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("en") << u"The train to the city leaves every twenty minutes, so we still have "
                           "time for another coffee."_s
                        << u"en"_s;
    QTest::newRow("zh-Hans")
        << u"这个周末天气很好，我们打算带孩子去公园散步，然后在附近的小饭馆吃午饭。"_s
        << u"zh-Hans"_s;
    QTest::newRow("zh-Hant")
        << u"這個週末天氣很好，我們打算帶孩子去公園散步，然後在附近的小餐廳吃午飯。"_s
        << u"zh-Hant"_s;
    QTest::newRow("he") << u"מחר בבוקר ניסע לבקר את סבא וסבתא שלי, שגרים בכפר קטן ליד הים."_s
                        << u"he"_s;
    QTest::newRow("fil") << u"Bukas ng umaga ay bibisitahin namin ang aking lolo at lola na "
                            "nakatira sa isang maliit na baryo malapit sa dagat."_s
                         << u"fil"_s;
    QTest::newRow("no (Nynorsk)")
        << u"I morgon tidleg skal vi vitje besteforeldra mine, som bur i ei lita bygd ved sjøen."_s
        << u"no"_s;
    QTest::newRow("ms, not id") << u"Esok pagi kami akan melawat datuk dan nenek saya yang tinggal "
                                   "di sebuah kampung kecil berhampiran laut."_s
                                << u"ms"_s;
    QTest::newRow("zu (full tables)") << u"Kusasa ekuseni sizovakashela ugogo nomkhulu abahlala "
                                         "edolobhaneni elincane eduze nolwandle."_s
                                      << u"zu"_s;
    QTest::newRow("one word") << u"Hello"_s << u"en"_s;
    QTest::newRow("one word, Hebrew") << u"שלום"_s << u"he"_s;
}

void TestCld2LanguageRecognizer::recognises()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);

    Cld2LanguageRecognizer recognizer;
    recognizer.processString(text);
    QCOMPARE(recognizer.dominantLanguage().value_or(QString()), expected);
    QVERIFY(!recognizer.languageHypotheses(10).isEmpty());
}

void TestCld2LanguageRecognizer::blankTextLeavesNoLanguage_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("no letters") << u"12 345,67 !?\n\t"_s;
    QTest::newRow("control characters") << QStringLiteral("\0\x01 \x7f\x1b");
}

void TestCld2LanguageRecognizer::blankTextLeavesNoLanguage()
{
    QFETCH(QString, text);

    // A previous answer must not survive into the next text.
    Cld2LanguageRecognizer recognizer;
    recognizer.processString(u"Guten Morgen, wie geht es dir heute?"_s);
    QVERIFY(recognizer.dominantLanguage());
    recognizer.processString(text);
    QCOMPARE(recognizer.dominantLanguage(), std::nullopt);
    QVERIFY(recognizer.languageHypotheses(10).isEmpty());
}

// CLD2 refuses a whole text for one character it does not take; the rest must still count.
void TestCld2LanguageRecognizer::strayCharactersAreSkipped_data()
{
    QTest::addColumn<QString>("text");
    const QString french = u"Bonjour à tous, comment allez-vous"_s;
    QTest::newRow("NUL, escape, C1 inside")
        << u"\x1b[2J"_s + french.left(15) + QChar(0) + QChar(0x85) + french.mid(15);
    QTest::newRow("noncharacter") << french + QChar(0xfffe);
    QTest::newRow("astral noncharacter") << french + QChar(0xdbff) + QChar(0xdfff);
    QTest::newRow("lone surrogate at the end") << french + QChar(0xd800);
}

void TestCld2LanguageRecognizer::strayCharactersAreSkipped()
{
    QFETCH(QString, text);
    Cld2LanguageRecognizer recognizer;
    recognizer.processString(text);
    QCOMPARE(recognizer.dominantLanguage(), u"fr"_s);
}

void TestCld2LanguageRecognizer::hypothesesFollowCld2_data()
{
    // CLD2 puts Filipino (35 %) just ahead of Hebrew (33 %) and Chinese (31 %) here; all three
    // arrive under their catalogue tags.
    QTest::addColumn<int>("maximum");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("negative") << -1 << QStringList();
    QTest::newRow("one") << 1 << QStringList{u"fil"_s};
    QTest::newRow("more than CLD2 has") << 10 << QStringList{u"fil"_s, u"he"_s, u"zh-Hans"_s};
}

void TestCld2LanguageRecognizer::hypothesesFollowCld2()
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

QTEST_APPLESS_MAIN(TestCld2LanguageRecognizer)
#include "tst_cld2languagerecognizer.moc"
