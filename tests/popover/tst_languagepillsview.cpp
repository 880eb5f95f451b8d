// The language pills bars: the selected pill and the capsule that marks it, the "···" menu with
// its search and keys, and what a choice announces.
#include "languagemenu.h"
#include "languagepillsview.h"
#include "morelanguagesbutton.h"
#include "pillbutton.h"
#include "springanimation.h"

#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>

namespace {

QList<Language> langs(const QStringList &ids)
{
    QList<Language> result;
    for (const QString &id : ids) {
        result.append(*Language::find(Language::sourceLanguages(), id));
    }
    return result;
}

} // namespace

class TestLanguagePillsView : public QObject
{
    Q_OBJECT

private slots:
    // By id alone; a selection that is no pill has no capsule.
    void selectsPillsById()
    {
        LanguagePillsView bar(true);
        bar.setLanguages(langs({"auto", "en", "ru"}), langs({"de"}));
        bar.setSelected({"ru", "Russisch", "ru"});
        QVERIFY(bar.pills()[2]->isSelected() && !bar.pills()[0]->isSelected());
        QCOMPARE(bar.capsule(), QRectF(bar.pills()[2]->geometry()));
        bar.setSelected({"en-GB", "English", "en-GB"});
        QVERIFY(!bar.pills()[1]->isSelected() && !bar.pills()[2]->isSelected());
        QCOMPARE(bar.capsule(), std::nullopt);
    }

    // A click springs the capsule over; any other change of selection puts it there at once.
    // Each choice is announced once.
    void capsuleFollowsTheSelection_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("pill"); // selected afterwards
        QTest::addColumn<bool>("slides");
        QTest::newRow("click two to the right") << "click" << 2 << true;
        QTest::newRow("click the selected one") << "click" << 0 << false;
        QTest::newRow("menu item clicked") << "menu" << 2 << false;
    }
    void capsuleFollowsTheSelection()
    {
        QFETCH(QString, change);
        QFETCH(int, pill);
        QFETCH(bool, slides);
        // As the popover's view model answers: a choice not yet a pill takes the last one's place.
        LanguagePillsView bar(false);
        QList<Language> pills = langs({"en", "ru", "de"});
        const QList<Language> more = Language::sourceLanguages().mid(20);
        bar.setLanguages(pills, more);
        bar.setSelected(pills[0]);
        connect(&bar, &LanguagePillsView::languageChosen, &bar, [&](const Language &language) {
            bar.setSelected(language);
            pills.last() = pills.contains(language) ? pills.last() : language;
            bar.setLanguages(pills, more);
        });
        bar.show();
        QSignalSpy chosen(&bar, &LanguagePillsView::languageChosen);
        const QRectF start = *bar.capsule();
        if (change == "menu") {
            bar.moreButton()->click();
            QListWidget *list = bar.moreButton()->menu()->list();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(3)).center());
        } else {
            QTest::mouseClick(bar.pills()[pill], Qt::LeftButton);
        }
        bar.capsuleAnimation()->pause();
        QCOMPARE(chosen.size(), 1);
        QVERIFY(bar.pills()[pill]->isSelected());
        QCOMPARE(bar.capsule() == start, slides || pill == 0);
        // Run the spring to rest one 60 Hz frame at a time, on the test's own clock.
        int frames = 0;
        while (bar.capsuleAnimation()->state() != QAbstractAnimation::Stopped && frames < 300) {
            bar.capsuleAnimation()->setCurrentTime(16 * ++frames);
        }
        QCOMPARE(frames > 2, slides);
        QCOMPARE(bar.capsule(), QRectF(bar.pills()[pill]->geometry()));
    }

    // The first match, by name or id, is the one Return takes; the arrows move among the
    // matches. It opens again with an empty search, all there, nothing looking chosen.
    void menuSearchAndKeys_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("chosen"); // empty: none
        using K = QList<int>;
        QTest::newRow("by id, Enter") << "zh-hant" << K{Qt::Key_Enter} << "zh-Hant";
        QTest::newRow("down, from Slovak") << "sl" << K{Qt::Key_Down, Qt::Key_Return} << "sl";
        QTest::newRow("up stops at the first") << "sl" << K{Qt::Key_Up, Qt::Key_Return} << "sk";
        QTest::newRow("no match: stays open") << "xyz" << K{Qt::Key_Return} << "";
        QTest::newRow("escape") << "ital" << K{Qt::Key_Escape} << "";
    }
    void menuSearchAndKeys()
    {
        QFETCH(QString, search);
        QFETCH(QList<int>, keys);
        QFETCH(QString, chosen);
        MoreLanguagesButton button;
        button.setLanguages(Language::targetLanguages());
        button.show();
        QSignalSpy spy(&button, &MoreLanguagesButton::languageChosen);
        button.click();
        LanguageMenu *menu = button.menu();
        QTest::keyClicks(menu->searchField(), search);
        for (int key : keys) {
            QTest::keyClick(menu->searchField(), Qt::Key(key));
        }
        QCOMPARE(spy.size(), chosen.isEmpty() ? 0 : 1);
        QVERIFY(chosen.isEmpty() || spy[0][0].value<Language>().id == chosen);
        QCOMPARE(menu->isVisible(), chosen.isEmpty() && keys.last() != Qt::Key_Escape);
        menu->close();
        button.click();
        QVERIFY(menu->searchField()->hasFocus() && menu->searchField()->text().isEmpty());
        QCOMPARE(menu->matches(), Language::targetLanguages());
        QVERIFY(menu->list()->selectedItems().isEmpty());
    }
};

QTEST_MAIN(TestLanguagePillsView)
#include "tst_languagepillsview.moc"
