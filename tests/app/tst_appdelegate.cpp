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
        m_settings = &m_translator->settings;
    }
    void cleanup()
    {
        m_delegate.reset();
        m_translator.reset();
    }

    // The stored scheme is applied; the tray glyph keeps the desktop's text colour.
    void theme()
    {
        m_settings->setValue("appTheme", "dark");
        launch();
        QCOMPARE(AppTheme::current(), AppTheme::Scheme::dark);
        QCOMPARE(QApplication::palette().color(QPalette::Window),
                 AppTheme::palette(AppTheme::Scheme::dark).color(QPalette::Window));
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

    // Each entry shows the popover first, then asks it for its panel.
    void menuEntries_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("label"); // text|shortcut
        QTest::addColumn<PopoverContentView::Panel>("panel");
        using Panel = PopoverContentView::Panel;
        QTest::newRow("Open") << 0 << "Open|" << Panel::none;
        QTest::newRow("About") << 2 << "About Parlora - Quenzal|" << Panel::about;
        QTest::newRow("Report") << 4 << "Report a Problem|" << Panel::report;
        QTest::newRow("Settings") << 5 << "Settings|Ctrl+," << Panel::settings;
    }
    void menuEntries()
    {
        QFETCH(int, entry);
        QFETCH(QString, label);
        QFETCH(PopoverContentView::Panel, panel);
        launch();
        QSignalSpy posted(&AppNotifier::instance(), &AppNotifier::posted);
        bool shownFirst = false;
        QObject listener; // ends the connection with this row
        connect(&AppNotifier::instance(), &AppNotifier::posted, &listener,
                [&] { shownFirst = m_delegate->popover()->isVisible(); });
        std::unique_ptr<QMenu> menu(m_delegate->makeContextMenu());
        QCOMPARE(menu->actions().size(), 8);
        QAction *action = menu->actions().at(entry);
        QCOMPARE(action->text() + '|' + action->shortcut().toString(QKeySequence::PortableText),
                 label);
        action->trigger();
        QVERIFY(m_delegate->popover()->isVisible());
        QCOMPARE(m_delegate->popover()->content()->panel(), panel);
        QCOMPARE(posted.count(), panel == PopoverContentView::Panel::none ? 0 : 1);
        QVERIFY(posted.isEmpty() || shownFirst); // each panel is asked for once the popover shows
    }

    // Only the left button toggles the popover; hidden, it keeps the texts.
    void clicksToggleAndHidingKeepsTheTexts()
    {
        launch();
        PopoverWindow *popover = m_delegate->popover();
        m_delegate->handleClick(QSystemTrayIcon::Trigger);
        QVERIFY(popover->isVisible());
        popover->content()->viewModel().setSourceText("Hallo");
        m_delegate->handleClick(QSystemTrayIcon::MiddleClick);
        QVERIFY(popover->isVisible());
        m_delegate->handleClick(QSystemTrayIcon::Trigger);
        QVERIFY(!popover->isVisible());
        // Hidden, the window lets go of its native window.
        QTRY_VERIFY(!popover->testAttribute(Qt::WA_WState_Created));
        m_delegate->showPopover();
        QVERIFY(popover->isVisible());
        QCOMPARE(popover->content()->viewModel().sourceText(), "Hallo");
        // Escape typed into the editor puts the popover away too.
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
        QVERIFY(!m_settings->contains("popoverWidth"));
        AppNotifier::instance().post(AppNotifier::popoverResizeRequested,
                                     {{"size", QSizeF(1000, 700)}, {"final", true}});
        QCOMPARE(m_delegate->popover()->size(), QSize(1000, 700));
        QCOMPARE(m_translator->preferences.popoverSize(), QSize(1000, 700));
        AppNotifier::instance().post(AppNotifier::popoverResizeRequested, {{"final", true}});
        QCOMPARE(m_delegate->popover()->size(), QSize(1000, 700));
        // The next start opens at the stored size.
        m_delegate.reset();
        launch();
        QCOMPARE(m_delegate->popover()->size(), QSize(1000, 700));
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
    QSettings *m_settings = nullptr;
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
