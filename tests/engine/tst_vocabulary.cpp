// The language catalogue and the translation styles: fixed data other parts rely on.
#include "language.h"
#include "translationstyle.h"

#include <QSet>
#include <QTest>

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
        QTest::newRow("first") << 1 << "en"
                               << "English";
        QTest::newRow("simplified") << 2 << "zh-Hans"
                                    << "Chinese (Simplified)";
        QTest::newRow("traditional") << 3 << "zh-Hant"
                                     << "Chinese (Traditional)";
        QTest::newRow("norwegian") << 28 << "no"
                                   << "Norwegian";
        QTest::newRow("hebrew") << 29 << "he"
                                << "Hebrew";
        QTest::newRow("indonesian") << 30 << "id"
                                    << "Indonesian";
        QTest::newRow("filipino") << 32 << "fil"
                                  << "Filipino";
        QTest::newRow("serbian") << 40 << "sr"
                                 << "Serbian";
        QTest::newRow("punjabi") << 51 << "pa"
                                 << "Punjabi";
        QTest::newRow("bosnian") << 66 << "bs"
                                 << "Bosnian";
        QTest::newRow("last") << 74 << "yo"
                              << "Yoruba";
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

    void styleRawValues_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("title");
        for (TranslationStyle style : TranslationStyle::allCases()) {
            QTest::newRow(qPrintable(style.rawValue()))
                << style.rawValue() << true << style.title();
        }
        QTest::newRow("capitalised") << "Standard" << false << "";
        QTest::newRow("empty") << "" << false << "";
        QTest::newRow("trailing space") << "formal " << false << "";
    }
    void styleRawValues()
    {
        QFETCH(QString, raw);
        QFETCH(bool, valid);
        QFETCH(QString, title);
        const std::optional<TranslationStyle> style = TranslationStyle::fromRawValue(raw);
        QCOMPARE(style.has_value(), valid);
        if (valid) {
            QCOMPARE(style->rawValue(), raw);
            QCOMPARE(title.at(0), raw.at(0).toUpper());
            QCOMPARE(title.mid(1), raw.mid(1));
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
        QTest::newRow("standard") << TranslationStyle(TranslationStyle::standard) << "en"
                                  << "de"
                                  << "Translate from en to de. Reply with translation only.";
        QTest::newRow("casual") << TranslationStyle(TranslationStyle::casual) << "en"
                                << "de"
                                << "Translate from en to de in casual, conversational style. "
                                   "Reply with translation only.";
        QTest::newRow("formal") << TranslationStyle(TranslationStyle::formal) << "ru"
                                << "zh-Hant"
                                << "Translate from ru to zh-Hant in formal, professional style. "
                                   "Reply with translation only.";
        QTest::newRow("creative") << TranslationStyle(TranslationStyle::creative) << "en"
                                  << "de"
                                  << "Translate from en to de in literary, expressive style. "
                                     "Reply with translation only.";
        QTest::newRow("technical") << TranslationStyle(TranslationStyle::technical) << "en"
                                   << "de"
                                   << "Translate from en to de, preserving all technical terms "
                                      "exactly. Reply with translation only.";
        QTest::newRow("empty tags") << TranslationStyle(TranslationStyle::standard) << ""
                                    << ""
                                    << "Translate from  to . Reply with translation only.";
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
