// The language pills bars: the capsule that marks the selected pill, the "···" menu with its
// search and keys, and what a choice announces.
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
    // A click springs the capsule over; a choice from the menu puts it there at once. Each
    // choice is announced once.
    void capsuleFollowsTheSelection()
    {
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
        QTest::mouseClick(bar.pills()[1], Qt::LeftButton);
        QVERIFY(bar.pills()[1]->isSelected());
        QCOMPARE(*bar.capsule(), start);
        // The spring runs to rest one 60 Hz frame at a time, on the test's own clock.
        bar.capsuleAnimation()->pause();
        int frames = 0;
        while (bar.capsuleAnimation()->state() != QAbstractAnimation::Stopped && frames < 300) {
            bar.capsuleAnimation()->setCurrentTime(16 * ++frames);
        }
        QVERIFY(frames > 2 && frames < 300);
        QCOMPARE(bar.capsule(), QRectF(bar.pills()[1]->geometry()));
        bar.moreButton()->click();
        QListWidget *list = bar.moreButton()->menu()->list();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(3)).center());
        QVERIFY(bar.pills()[2]->isSelected());
        QCOMPARE(bar.capsule(), QRectF(bar.pills()[2]->geometry()));
        QCOMPARE(chosen.size(), 2);
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
