// The shell without a desktop: theme, menu, clicks and resize requests.
#include "appdelegate.h"
#include "appnotifier.h"
#include "apptheme.h"
#include "fakeglobalshortcut.h"
#include "fakeloginitem.h"
#include "fakesecretstore.h"
#include "keychainhelper.h"
#include "noscrolltexteditor.h"
#include "popovercontentview.h"
#include "popoverwindow.h"
#include "telegramreporter.h"
#include "testtranslator.h"
#include "unavailabledictation.h"

#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

class TestAppDelegate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_desktopPalette = QApplication::palette(); }

    void init()
    {
        QApplication::setPalette(m_desktopPalette);
        m_translator = std::make_unique<TestTranslator>();
    }
    void cleanup()
    {
        m_delegate.reset();
        m_translator.reset();
    }

    // The stored scheme is applied; the tray glyph keeps the desktop's text colour.
    void theme()
    {
        m_translator->settings.setValue("appTheme", "dark");
        launch();
        QCOMPARE(AppTheme::current(), AppTheme::Scheme::dark);
        const QImage glyph = m_delegate->statusItem()->icon().pixmap(QSize(18, 18), 1.0).toImage();
        QSet<QRgb> inks;
        for (int i = 0; i < glyph.width() * glyph.height(); ++i) {
            const QRgb pixel = glyph.pixel(i % glyph.width(), i / glyph.width());
            if (qAlpha(pixel) == 255) {
                inks.insert(pixel);
            }
        }
        QCOMPARE(inks, QSet<QRgb>{m_desktopPalette.color(QPalette::WindowText).rgba()});
    }

    // Open shows the popover; Settings shows it first, then asks it for its panel.
    void menuEntries()
    {
        launch();
        std::unique_ptr<QMenu> menu(m_delegate->makeContextMenu());
        menu->actions().at(0)->trigger();
        QVERIFY(m_delegate->popover()->isVisible());
        QCOMPARE(m_delegate->popover()->content()->panel(), PopoverContentView::Panel::none);
        m_delegate->popover()->hide();
        QSignalSpy posted(&AppNotifier::instance(), &AppNotifier::posted);
        bool shownFirst = false;
        QObject listener;
        connect(&AppNotifier::instance(), &AppNotifier::posted, &listener,
                [&] { shownFirst = m_delegate->popover()->isVisible(); });
        menu->actions().at(5)->trigger();
        QCOMPARE(m_delegate->popover()->content()->panel(), PopoverContentView::Panel::settings);
        QCOMPARE(posted.count(), 1);
        QVERIFY(shownFirst);
    }

    // A click toggles the popover, Escape hides it; hidden, it keeps the texts.
    void clicksToggleAndHidingKeepsTheTexts()
    {
        launch();
        PopoverWindow *popover = m_delegate->popover();
        m_delegate->handleClick(QSystemTrayIcon::Trigger);
        QVERIFY(popover->isVisible());
        popover->content()->viewModel().setSourceText("Hallo");
        m_delegate->handleClick(QSystemTrayIcon::Trigger);
        QVERIFY(!popover->isVisible());
        m_delegate->showPopover();
        QVERIFY(popover->isVisible());
        QCOMPARE(popover->content()->viewModel().sourceText(), "Hallo");
        QVERIFY(QTest::qWaitForWindowActive(popover));
        QTest::keyClick(popover->content()->editor(), Qt::Key_Escape);
        QVERIFY(!popover->isVisible());
        QCOMPARE(popover->content()->viewModel().sourceText(), "Hallo");
    }

    void resizeIsAppliedAtOnceAndStoredOnlyAtTheEnd()
    {
        launch();
        AppNotifier::instance().post(AppNotifier::popoverResizeRequested,
                                     {{"size", QSizeF(880, 510)}});
        QCOMPARE(m_delegate->popover()->size(), QSize(880, 510));
        QVERIFY(!m_translator->settings.contains("popoverWidth"));
        AppNotifier::instance().post(AppNotifier::popoverResizeRequested,
                                     {{"size", QSizeF(1000, 700)}, {"final", true}});
        QCOMPARE(m_delegate->popover()->size(), QSize(1000, 700));
        QCOMPARE(m_translator->preferences.popoverSize(), QSize(1000, 700));
    }

private:
    void launch()
    {
        m_delegate = std::make_unique<AppDelegate>(
            AppDelegate::Services{.preferences = m_translator->preferences,
                                  .viewModel = *m_translator->viewModel,
                                  .dictation = m_dictation,
                                  .shortcut = m_shortcut,
                                  .pressMonitor = nullptr,
                                  .loginItem = m_loginItem,
                                  .keychain = m_keychain,
                                  .keyringAvailable = [] { return true; },
                                  .telegram = m_telegram});
        m_delegate->applicationDidFinishLaunching();
    }

    QPalette m_desktopPalette;
    std::unique_ptr<TestTranslator> m_translator;
    UnavailableDictation m_dictation;
    FakeGlobalShortcut m_shortcut;
    FakeLoginItem m_loginItem;
    KeychainHelper m_keychain{"org.example.Test", std::make_shared<FakeSecretStore>()};
    TelegramReporter m_telegram{QUrl("http://127.0.0.1:9"),
                                []() -> QCoro::Task<QString> { co_return QString(); }};
    std::unique_ptr<AppDelegate> m_delegate;
};

QTEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"
