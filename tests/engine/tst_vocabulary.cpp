// The language catalogue and the translation styles: fixed data other parts rely on.
#include "language.h"
#include "translationstyle.h"

#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

class TestVocabulary : public QObject
{
    Q_OBJECT

private slots:
    void catalogueShape()
    {
        const QList<Language> &source = Language::sourceLanguages();
        const QList<Language> &target = Language::targetLanguages();
        QCOMPARE(source.size(), 75);
        QCOMPARE(target.size(), 74);
        QCOMPARE(source.first(), (Language{"auto", "Auto", "auto"}));
        QCOMPARE(source.mid(1), target);

        QSet<QString> ids;
        for (const Language &language : target) {
            QVERIFY2(!language.isAuto(), qPrintable(language.id));
            QCOMPARE(language.bcp47, language.id);
            ids.insert(language.id);
        }
        QCOMPARE(ids.size(), 74);
    }

    void catalogueEntries_data()
    {
        QTest::addColumn<int>("position"); // 1-based, as users count them
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        QTest::newRow("first") << 1 << u"en"_s << u"English"_s;
        QTest::newRow("simplified") << 2 << u"zh-Hans"_s << u"Chinese (Simplified)"_s;
        QTest::newRow("traditional") << 3 << u"zh-Hant"_s << u"Chinese (Traditional)"_s;
        QTest::newRow("hebrew") << 29 << u"he"_s << u"Hebrew"_s;
        QTest::newRow("filipino") << 32 << u"fil"_s << u"Filipino"_s;
        QTest::newRow("last") << 74 << u"yo"_s << u"Yoruba"_s;
    }
    void catalogueEntries()
    {
        QFETCH(int, position);
        QFETCH(QString, id);
        QFETCH(QString, name);
        QCOMPARE(Language::targetLanguages().at(position - 1), (Language{id, name, id}));
    }

    void lookupAndEquality()
    {
        QCOMPARE(Language::find(Language::sourceLanguages(), u"auto"), Language::autoDetect());
        QVERIFY(!Language::find(Language::targetLanguages(), u"auto"));
        QVERIFY(!Language::find(Language::targetLanguages(), u"zh"));
        QCOMPARE(Language::find(Language::targetLanguages(), u"fil")->name, "Filipino");

        const Language renamed{"en", "Englisch", "en"};
        QVERIFY(renamed != Language::english());
        QVERIFY(qHash(renamed) != qHash(Language::english()));
    }

    // The raw values are what settings and cache keys keep; nothing near them is one.
    void styleRawValues()
    {
        QStringList raw;
        for (TranslationStyle style : TranslationStyle::allCases()) {
            raw.append(style.rawValue());
            QCOMPARE(TranslationStyle::fromRawValue(style.rawValue()), style);
        }
        QCOMPARE(raw, (QStringList{"standard", "casual", "formal", "creative", "technical"}));
        for (const char *near : {"Standard", "", "formal "}) {
            QVERIFY2(!TranslationStyle::fromRawValue(QString::fromLatin1(near)), near);
        }
    }

    void styleOrderAndTexts()
    {
        QStringList rows;
        for (TranslationStyle style : TranslationStyle::allCases()) {
            rows.append(style.title() + QStringLiteral(": ") + style.description());
        }
        QCOMPARE(rows,
                 (QStringList{"Standard: Accurate, neutral", "Casual: Informal, conversational",
                              "Formal: Business, professional", "Creative: Literary, free-form",
                              "Technical: Technical terms preserved"}));
    }

    void systemPrompt_data()
    {
        QTest::addColumn<TranslationStyle>("style");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("standard") << TranslationStyle(TranslationStyle::standard) << u"en"_s
                                  << u"de"_s
                                  << u"Translate from en to de. Reply with translation only."_s;
        QTest::newRow("casual") << TranslationStyle(TranslationStyle::casual) << u"en"_s << u"de"_s
                                << u"Translate from en to de in casual, conversational style. "
                                   "Reply with translation only."_s;
        QTest::newRow("formal") << TranslationStyle(TranslationStyle::formal) << u"ru"_s
                                << u"zh-Hant"_s
                                << u"Translate from ru to zh-Hant in formal, professional style. "
                                   "Reply with translation only."_s;
        QTest::newRow("creative") << TranslationStyle(TranslationStyle::creative) << u"en"_s
                                  << u"de"_s
                                  << u"Translate from en to de in literary, expressive style. "
                                     "Reply with translation only."_s;
        QTest::newRow("technical")
            << TranslationStyle(TranslationStyle::technical) << u"en"_s << u"de"_s
            << u"Translate from en to de, preserving all technical terms "
               "exactly. Reply with translation only."_s;
    }
    void systemPrompt()
    {
        QFETCH(TranslationStyle, style);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, prompt);
        QCOMPARE(style.systemPrompt(from, to), prompt);
    }
};

QTEST_GUILESS_MAIN(TestVocabulary)
#include "tst_vocabulary.moc"
