// The language pills bars: which pill is selected, how the blue capsule gets to it, the "···"
// menu and its search, and what a choice announces.
#include "apptheme.h"
#include "languagemenu.h"
#include "languagepillsview.h"
#include "morelanguagesbutton.h"
#include "pillbutton.h"
#include "springanimation.h"

#include <QDir>
#include <QEnterEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

namespace {

Language lang(const char *id)
{
    return *Language::find(Language::sourceLanguages(), QString::fromLatin1(id));
}

QList<Language> langs(const QStringList &ids)
{
    QList<Language> result;
    for (const QString &id : ids) {
        result.append(*Language::find(Language::sourceLanguages(), id));
    }
    return result;
}

QStringList ids(const QList<Language> &languages)
{
    QStringList result;
    for (const Language &language : languages) {
        result.append(language.id);
    }
    return result;
}

QList<Language> without(QList<Language> all, const QList<Language> &taken)
{
    all.removeIf([&](const Language &language) { return taken.contains(language); });
    return all;
}

// Stands in for the popover and its view model: a choice becomes the selection, and one that
// is not yet a pill takes the place of the oldest pill.
class Owner
{
public:
    Owner(LanguagePillsView &bar, const QStringList &pills, const char *selected)
        : m_bar(bar)
        , m_pills(langs(pills))
    {
        m_bar.setLanguages(m_pills, more());
        m_bar.setSelected(lang(selected));
        QObject::connect(&m_bar, &LanguagePillsView::languageChosen, &m_bar,
                         [this](const Language &language) { choose(language); });
    }

    QList<Language> more() const
    {
        return without(m_bar.isSource() ? Language::sourceLanguages() : Language::targetLanguages(),
                       m_pills);
    }

private:
    void choose(const Language &language)
    {
        m_bar.setSelected(language);
        if (!m_pills.contains(language)) {
            m_pills.removeLast();
            m_pills.insert(m_bar.isSource() ? 1 : 0, language);
        }
        m_bar.setLanguages(m_pills, more());
    }

    LanguagePillsView &m_bar;
    QList<Language> m_pills;
};

// Runs the capsule's spring to rest one 60 Hz frame at a time, on the test's own clock.
QList<QRectF> runSpring(LanguagePillsView &bar)
{
    SpringAnimation *spring = bar.capsuleAnimation();
    spring->pause();
    QList<QRectF> frames;
    for (int time = 16; spring->state() != QAbstractAnimation::Stopped && time < 5000; time += 16) {
        spring->setCurrentTime(time);
        frames.append(bar.capsule().value_or(QRectF()));
    }
    return frames;
}

void hover(QWidget *widget)
{
    QEnterEvent enter(QPointF(2, 2), widget->mapTo(widget->window(), QPointF(2, 2)),
                      widget->mapToGlobal(QPointF(2, 2)));
    QCoreApplication::sendEvent(widget, &enter);
}

} // namespace

class TestLanguagePillsView : public QObject
{
    Q_OBJECT

private slots:
    void init() { AppTheme::apply(AppTheme::Scheme::light); }

    void selectsPillsById_data()
    {
        QTest::addColumn<Language>("selected");
        QTest::addColumn<int>("pill");
        QTest::newRow("a pill") << lang("en") << 1;
        QTest::newRow("same id, other name") << Language{"ru", "Russisch", "ru"} << 2;
        QTest::newRow("same name, other id") << Language{"en-GB", "English", "en-GB"} << -1;
        QTest::newRow("not a pill") << lang("de") << -1;
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
        if (pill < 0) {
            QVERIFY(!bar.capsule());
        } else {
            QCOMPARE(bar.capsule(), QRectF(bar.pills()[pill]->geometry()));
        }
        QCOMPARE(bar.capsuleAnimation()->state(), QAbstractAnimation::Stopped);
    }

    void capsuleComesAndGoesWithTheSelectedPill()
    {
        LanguagePillsView bar(false);
        Owner owner(bar, {"en", "ru", "de"}, "ru");
        bar.setSelected(lang("fr"));
        QVERIFY(!bar.capsule());
        bar.setLanguages(langs({"fr", "en", "ru"}), owner.more());
        QCOMPARE(bar.capsule(), QRectF(bar.pills()[0]->geometry()));
        bar.setLanguages(langs({"en", "ru", "de"}), owner.more());
        QVERIFY(!bar.capsule());
    }

    void clickSlidesCapsuleOnASpring_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("two to the right") << 0 << 2;
        QTest::newRow("one to the left") << 2 << 1;
    }
    void clickSlidesCapsuleOnASpring()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        LanguagePillsView bar(true);
        const QStringList pills{"auto", "en", "fil"};
        Owner owner(bar, pills, pills[from].toLatin1());
        bar.show();
        const QRectF start = *bar.capsule();
        PillButton *target = bar.pills()[to];

        QTest::mouseClick(target, Qt::LeftButton);
        // The labels change at once; the capsule has not moved yet.
        QVERIFY(target->isSelected());
        QVERIFY(!bar.pills()[from]->isSelected());
        QCOMPARE(bar.capsule(), start);

        const QRectF end = target->geometry(); // after the new weights' layout
        const QList<QRectF> frames = runSpring(bar);
        QCOMPARE(bar.capsuleAnimation()->state(), QAbstractAnimation::Stopped);
        QCOMPARE(frames.last(), end);
        QCOMPARE(bar.capsule(), end);

        // A spring at 0.7 of critical damping goes a little past the pill, then comes back.
        const qreal distance = end.x() - start.x();
        qreal furthest = 0;
        int between = 0;
        for (const QRectF &frame : frames) {
            furthest = std::max(furthest, (frame.x() - end.x()) / distance);
            between += frame != start && frame != end;
        }
        QVERIFY2(furthest > 0.01 && furthest < 0.1, qPrintable(QString::number(furthest)));
        QVERIFY2(between >= 8, qPrintable(QString::number(between)));
        // It comes to rest in well under a second.
        QVERIFY2(frames.size() < 60, qPrintable(QString::number(frames.size())));
    }

    void secondClickBendsTheSlide()
    {
        LanguagePillsView bar(false);
        Owner owner(bar, {"en", "ru", "de"}, "en");
        bar.show();
        QTest::mouseClick(bar.pills()[2], Qt::LeftButton);
        SpringAnimation *spring = bar.capsuleAnimation();
        spring->pause();
        spring->setCurrentTime(64);
        const QRectF midway = *bar.capsule();
        QTest::mouseClick(bar.pills()[0], Qt::LeftButton);
        // Carries on from where it was, at the speed it had, rather than jumping.
        QCOMPARE(bar.capsule(), midway);
        spring->setCurrentTime(80);
        QVERIFY(bar.capsule()->x() > midway.x()); // still moving right for a moment
        runSpring(bar);
        QCOMPARE(bar.capsule(), QRectF(bar.pills()[0]->geometry()));
    }

    void otherChangesPlaceCapsuleAtOnce_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("menu choice") << "menu";
        QTest::newRow("selection from outside during a slide") << "outside sliding";
        QTest::newRow("new pills from outside") << "pills";
    }
    void otherChangesPlaceCapsuleAtOnce()
    {
        QFETCH(QString, change);
        LanguagePillsView bar(true);
        Owner owner(bar, {"auto", "en", "ru"}, "auto");
        bar.show();
        if (change == "menu") {
            bar.moreButton()->click();
            QTest::keyClicks(bar.moreButton()->menu()->searchField(), "german");
            QTest::keyClick(bar.moreButton()->menu()->searchField(), Qt::Key_Return);
            QCOMPARE(bar.pills()[1]->language(), lang("de"));
        } else if (change == "outside sliding") {
            QTest::mouseClick(bar.pills()[2], Qt::LeftButton);
            bar.capsuleAnimation()->pause();
            bar.capsuleAnimation()->setCurrentTime(48);
            bar.setSelected(lang("en"));
        } else {
            bar.setLanguages(langs({"auto", "fr", "de"}), owner.more());
            bar.setSelected(lang("de"));
        }
        PillButton *selected = nullptr;
        for (PillButton *pill : bar.pills()) {
            if (pill->isSelected()) {
                selected = pill;
            }
        }
        QVERIFY(selected);
        QCOMPARE(bar.capsuleAnimation()->state(), QAbstractAnimation::Stopped);
        QCOMPARE(bar.capsule(), QRectF(selected->geometry()));
    }

    void clickOnTheSelectedPillMovesNothing()
    {
        LanguagePillsView bar(false);
        Owner owner(bar, {"en", "ru", "de"}, "ru");
        bar.show();
        QSignalSpy chosen(&bar, &LanguagePillsView::languageChosen);
        const QRectF before = *bar.capsule();
        QTest::mouseClick(bar.pills()[1], Qt::LeftButton);
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(chosen[0][0].value<Language>(), lang("ru"));
        QCOMPARE(bar.capsuleAnimation()->state(), QAbstractAnimation::Stopped);
        QCOMPARE(bar.capsule(), before);
    }

    void barsHaveTheirOwnCapsules()
    {
        LanguagePillsView source(true);
        LanguagePillsView target(false);
        Owner sourceOwner(source, {"auto", "en", "ru"}, "auto");
        Owner targetOwner(target, {"en", "ru", "de"}, "ru");
        source.show();
        target.show();
        const QRectF targetCapsule = *target.capsule();
        QTest::mouseClick(source.pills()[2], Qt::LeftButton);
        QVERIFY(source.capsuleAnimation()->state() != QAbstractAnimation::Stopped);
        QCOMPARE(target.capsuleAnimation()->state(), QAbstractAnimation::Stopped);
        QCOMPARE(target.capsule(), targetCapsule);
    }

    void moreButtonOnlyWithMoreLanguages_data()
    {
        QTest::addColumn<QStringList>("more");
        QTest::newRow("none") << QStringList{};
        QTest::newRow("many") << QStringList{"de", "fr", "it"};
    }
    void moreButtonOnlyWithMoreLanguages()
    {
        QFETCH(QStringList, more);
        LanguagePillsView bar(false);
        bar.setLanguages(langs({"en", "ru"}), langs(more));
        bar.setSelected(lang("en"));
        bar.resize(bar.sizeHint());
        MoreLanguagesButton *button = bar.moreButton();
        QCOMPARE(button->isHidden(), more.isEmpty());
        const QRect lastPill = bar.pills().last()->geometry();
        // The bar ends 5 points after its last item, whichever that is.
        const int end = more.isEmpty() ? lastPill.right() : button->geometry().right();
        QCOMPARE(bar.sizeHint().width(), end + 1 + 5);
        if (!more.isEmpty()) {
            QCOMPARE(button->geometry().left(), lastPill.right() + 1 + 4);
            QCOMPARE(ids(button->languages()), more);
        }
    }

    void sparkleOnlyOnTheSourceAutoPill_data()
    {
        QTest::addColumn<bool>("isSource");
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("sparkle");
        QTest::newRow("source auto") << true << "auto" << true;
        QTest::newRow("source english") << true << "en" << false;
        QTest::newRow("target auto") << false << "auto" << false;
    }
    void sparkleOnlyOnTheSourceAutoPill()
    {
        QFETCH(bool, isSource);
        QFETCH(QString, language);
        QFETCH(bool, sparkle);
        LanguagePillsView bar(isSource);
        bar.setLanguages(langs({language}), {});
        QCOMPARE(bar.pills()[0]->showsSparkle(), sparkle);
    }

    void menuFilters_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("matches");
        QTest::newRow("any case") << "GeRmAn" << QStringList{"de"};
        QTest::newRow("by id") << "zh-hant" << QStringList{"zh-Hant"};
        QTest::newRow("name and id") << "sl" << QStringList{"sk", "sl"};
        QTest::newRow("inside a name") << "ngali" << QStringList{"bn"};
        QTest::newRow("nothing") << "xyz" << QStringList{};
    }
    void menuFilters()
    {
        QFETCH(QString, search);
        QFETCH(QStringList, matches);
        MoreLanguagesButton button;
        button.setLanguages(Language::targetLanguages());
        button.show();
        button.click();
        LanguageMenu *menu = button.menu();
        QTest::keyClicks(menu->searchField(), search);
        QCOMPARE(ids(menu->matches()), matches);
        // The first match is the one Return would take.
        QCOMPARE(menu->list()->currentRow(),
                 matches.isEmpty() ? -1 : ids(menu->languages()).indexOf(matches.first()));
    }

    void menuKeys_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("chosen"); // empty: none
        QTest::newRow("return takes the first match")
            << "an" << QList<int>{Qt::Key_Return} << "zh-Hans";
        QTest::newRow("enter too") << "ital" << QList<int>{Qt::Key_Enter} << "it";
        QTest::newRow("down moves to the next match")
            << "an" << QList<int>{Qt::Key_Down, Qt::Key_Return} << "zh-Hant";
        QTest::newRow("up stops at the first")
            << "an" << QList<int>{Qt::Key_Up, Qt::Key_Return} << "zh-Hans";
        QTest::newRow("return without a search") << "" << QList<int>{Qt::Key_Return} << "en";
        QTest::newRow("down without a search")
            << "" << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Return} << "zh-Hans";
        QTest::newRow("return without a match") << "xyz" << QList<int>{Qt::Key_Return} << "";
        QTest::newRow("escape") << "ital" << QList<int>{Qt::Key_Escape} << "";
    }
    void menuKeys()
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
        if (chosen.isEmpty()) {
            QCOMPARE(spy.size(), 0);
            // Escape closes; a Return that has nothing to take leaves the menu open.
            QCOMPARE(menu->isVisible(), keys.last() != Qt::Key_Escape);
        } else {
            QCOMPARE(spy.size(), 1);
            QCOMPARE(spy[0][0].value<Language>(), lang(chosen.toLatin1()));
            QVERIFY(!menu->isVisible());
        }
    }

    void menuOpensReadyToSearch()
    {
        MoreLanguagesButton button;
        const QList<Language> more = without(Language::sourceLanguages(), langs({"auto", "en"}));
        button.setLanguages(more);
        button.show();
        button.click();
        LanguageMenu *menu = button.menu();
        QTest::keyClicks(menu->searchField(), "fr");
        QTest::keyClick(menu->searchField(), Qt::Key_Escape);

        button.click();
        QVERIFY(menu->isVisible());
        QVERIFY(menu->searchField()->hasFocus());
        QVERIFY(menu->searchField()->text().isEmpty());
        QCOMPARE(menu->matches(), more); // all of them, in the order given
        for (int row = 0; row < more.size(); ++row) {
            QCOMPARE(menu->list()->item(row)->text(), more[row].name);
        }
        QVERIFY(menu->list()->selectedItems().isEmpty()); // nothing looks like the current one
        // A list longer than the screen stays on it and scrolls.
        const QRect screen = menu->screen()->availableGeometry();
        QVERIFY(screen.contains(menu->frameGeometry()));
        if (menu->list()->count() * menu->list()->sizeHintForRow(0) > screen.height()) {
            QVERIFY(menu->list()->verticalScrollBar()->maximum() > 0);
        }
    }

    void choicesAreAnnouncedOnce_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("pill") << "pill"
                              << "ru";
        QTest::newRow("menu item") << "click"
                                   << "fr";
        QTest::newRow("menu search") << "search"
                                     << "it";
    }
    void choicesAreAnnouncedOnce()
    {
        QFETCH(QString, how);
        QFETCH(QString, chosen);
        LanguagePillsView bar(false);
        Owner owner(bar, {"en", "ru", "de"}, "en");
        bar.show();
        QSignalSpy spy(&bar, &LanguagePillsView::languageChosen);
        LanguageMenu *menu = bar.moreButton()->menu();
        if (how == "pill") {
            QTest::mouseClick(bar.pills()[1], Qt::LeftButton);
        } else {
            bar.moreButton()->click();
            if (how == "click") {
                const int row = int(ids(menu->languages()).indexOf(chosen));
                QListWidget *list = menu->list();
                list->scrollToItem(list->item(row));
                const QPoint at = list->visualItemRect(list->item(row)).center();
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            } else {
                QTest::keyClicks(menu->searchField(), "ital");
                QTest::keyClick(menu->searchField(), Qt::Key_Return);
            }
        }
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy[0][0].value<Language>(), lang(chosen.toLatin1()));
        QCOMPARE(bar.selected(), lang(chosen.toLatin1()));
    }

    // Not a check: pictures of every state to look at, under the build folder.
    void renderStates()
    {
        const QString folder = QCoreApplication::applicationDirPath() + "/pills-png";
        QVERIFY(QDir().mkpath(folder));
        for (AppTheme::Scheme scheme : {AppTheme::Scheme::light, AppTheme::Scheme::dark}) {
            AppTheme::apply(scheme);
            const QString schemeName = scheme == AppTheme::Scheme::dark ? "dark" : "light";
            for (bool isSource : {true, false}) {
                const QString side = isSource ? "source" : "target";
                QWidget backdrop;
                backdrop.setAutoFillBackground(true);
                LanguagePillsView bar(isSource, &backdrop);
                Owner owner(
                    bar, isSource ? QStringList{"auto", "en", "ru"} : QStringList{"en", "ru", "de"},
                    isSource ? "auto" : "en");
                bar.move(12, 12);
                bar.resize(bar.sizeHint());
                backdrop.resize(bar.width() + 24, bar.height() + 24);
                backdrop.show();
                const auto save = [&](const QString &state) {
                    const QString base = folder + "/" + side + "-" + schemeName + "-" + state;
                    QVERIFY(backdrop.grab().save(base + ".png"));
                    QImage large(backdrop.size() * 3, QImage::Format_ARGB32_Premultiplied);
                    large.setDevicePixelRatio(3);
                    backdrop.render(&large);
                    QVERIFY(large.save(base + "@3x.png"));
                };
                save("rest");
                hover(bar.pills()[2]);
                save("hover-pill");
                QEvent leave(QEvent::Leave);
                QCoreApplication::sendEvent(bar.pills()[2], &leave);
                hover(bar.moreButton());
                save("hover-more");
                QCoreApplication::sendEvent(bar.moreButton(), &leave);
                QTest::mouseClick(bar.pills()[2], Qt::LeftButton);
                bar.capsuleAnimation()->pause();
                for (int time : {48, 112, 208}) {
                    bar.capsuleAnimation()->setCurrentTime(time);
                    save(QString("slide-%1ms").arg(time));
                }
                runSpring(bar);
                save("after-slide");
                bar.setSelected(lang("it"));
                save("no-pill-selected");

                LanguageMenu *menu = bar.moreButton()->menu();
                bar.moreButton()->click();
                const QString base = folder + "/" + side + "-" + schemeName + "-menu";
                QVERIFY(menu->grab().save(base + ".png"));
                QTest::keyClicks(menu->searchField(), "an");
                QVERIFY(menu->grab().save(base + "-search.png"));
                menu->close();
            }
        }
    }
};

QTEST_MAIN(TestLanguagePillsView)
#include "tst_languagepillsview.moc"
