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

// Runs the capsule's spring to rest one 60 Hz frame at a time, on the test's own clock.
int runSpring(LanguagePillsView &bar)
{
    bar.capsuleAnimation()->pause();
    int frames = 0;
    while (bar.capsuleAnimation()->state() != QAbstractAnimation::Stopped && frames < 300) {
        bar.capsuleAnimation()->setCurrentTime(16 * ++frames);
    }
    return frames;
}

} // namespace

class TestLanguagePillsView : public QObject
{
    Q_OBJECT

private slots:
    // By id alone; a selection that is no pill has no capsule.
    void selectsPillsById_data()
    {
        QTest::addColumn<Language>("selected");
        QTest::addColumn<int>("pill");
        QTest::newRow("same id, other name") << Language{"ru", "Russisch", "ru"} << 2;
        QTest::newRow("same name, other id") << Language{"en-GB", "English", "en-GB"} << -1;
    }
    void selectsPillsById()
    {
        QFETCH(Language, selected);
        QFETCH(int, pill);
        LanguagePillsView bar(true);
        bar.setLanguages(langs({"auto", "en", "ru"}), langs({"de"}));
        bar.setSelected(selected);
        for (int i = 0; i < bar.pills().size(); ++i) {
            QCOMPARE(bar.pills()[i]->isSelected(), i == pill);
        }
        QCOMPARE(bar.capsule(),
                 pill < 0 ? std::optional<QRectF>() : QRectF(bar.pills()[pill]->geometry()));
    }

    // A click springs the capsule over; any other change of selection puts it there at once.
    void capsuleFollowsTheSelection_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("pill"); // selected afterwards
        QTest::addColumn<bool>("slides");
        QTest::newRow("click two to the right") << "click" << 2 << true;
        QTest::newRow("click the selected one") << "click" << 0 << false;
        QTest::newRow("menu item clicked") << "menu" << 2 << false;
        QTest::newRow("selection from outside during a slide") << "outside" << 1 << false;
    }
    void capsuleFollowsTheSelection()
    {
        QFETCH(QString, change);
        QFETCH(int, pill);
        QFETCH(bool, slides);
        // As the popover's view model answers: a choice is selected, and one that is not yet a
        // pill takes the place of the last.
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
        if (change == "click") {
            QTest::mouseClick(bar.pills()[pill], Qt::LeftButton);
        } else if (change == "menu") {
            bar.moreButton()->click();
            QListWidget *list = bar.moreButton()->menu()->list();
            QListWidgetItem *item = list->item(3);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(item).center());
        } else {
            QTest::mouseClick(bar.pills()[2], Qt::LeftButton);
            bar.capsuleAnimation()->pause();
            bar.capsuleAnimation()->setCurrentTime(48);
            bar.setSelected(bar.pills()[1]->language());
        }
        QCOMPARE(chosen.size(), 1); // announced once
        QVERIFY(bar.pills()[pill]->isSelected());
        QCOMPARE(bar.capsule() == start, slides || pill == 0);
        QCOMPARE(runSpring(bar) > 2, slides);
        QCOMPARE(bar.capsule(), QRectF(bar.pills()[pill]->geometry()));
    }

    // The first match is the one Return takes; the arrows move among the matches.
    void menuSearchAndKeys_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("matches");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("chosen"); // empty: none
        using K = QList<int>;
        QTest::newRow("by id, Enter")
            << "zh-hant" << QStringList{"zh-Hant"} << K{Qt::Key_Enter} << "zh-Hant";
        QTest::newRow("name and id, down")
            << "sl" << QStringList{"sk", "sl"} << K{Qt::Key_Down, Qt::Key_Return} << "sl";
        QTest::newRow("up stops at the first")
            << "sl" << QStringList{"sk", "sl"} << K{Qt::Key_Up, Qt::Key_Return} << "sk";
        QTest::newRow("inside a name, any case")
            << "NGALI" << QStringList{"bn"} << K{Qt::Key_Return} << "bn";
        QTest::newRow("no match: stays open") << "xyz" << QStringList{} << K{Qt::Key_Return} << "";
        QTest::newRow("escape") << "ital" << QStringList{"it"} << K{Qt::Key_Escape} << "";
    }
    void menuSearchAndKeys()
    {
        QFETCH(QString, search);
        QFETCH(QStringList, matches);
        QFETCH(QList<int>, keys);
        QFETCH(QString, chosen);
        MoreLanguagesButton button;
        button.setLanguages(Language::targetLanguages());
        button.show();
        QSignalSpy spy(&button, &MoreLanguagesButton::languageChosen);
        button.click();
        LanguageMenu *menu = button.menu();
        QTest::keyClicks(menu->searchField(), search);
        QStringList found;
        for (const Language &language : menu->matches()) {
            found.append(language.id);
        }
        QCOMPARE(found, matches);
        for (int key : keys) {
            QTest::keyClick(menu->searchField(), Qt::Key(key));
        }
        QCOMPARE(spy.size(), chosen.isEmpty() ? 0 : 1);
        QVERIFY(chosen.isEmpty() || spy[0][0].value<Language>().id == chosen);
        QCOMPARE(menu->isVisible(), chosen.isEmpty() && keys.last() != Qt::Key_Escape);
        // It opens again with an empty search, all there, nothing looking chosen.
        menu->close();
        button.click();
        QVERIFY(menu->searchField()->hasFocus());
        QVERIFY(menu->searchField()->text().isEmpty());
        QCOMPARE(menu->matches(), Language::targetLanguages());
        QVERIFY(menu->list()->selectedItems().isEmpty());
    }
};

QTEST_MAIN(TestLanguagePillsView)
#include "tst_languagepillsview.moc"
