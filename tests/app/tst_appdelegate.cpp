// The shell without a desktop: theme, menu, panel requests and resize requests.
#include "appdelegate.h"
#include "appnotifier.h"
#include "apptheme.h"
#include "fakeglobalshortcut.h"
#include "fakeloginitem.h"
#include "fakesecretstore.h"
#include "keychainhelper.h"
#include "menubaricon.h"
#include "noscrolltexteditor.h"
#include "popovercontentview.h"
#include "popoverwindow.h"
#include "telegramreporter.h"
#include "testtranslator.h"
#include "unavailabledictation.h"

#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QTimer>

class TestAppDelegate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_desktopPalette = QApplication::palette(); }

    void init()
    {
        QApplication::setPalette(m_desktopPalette);
        m_delegate.reset();
        m_translator.reset();
        m_translator = std::make_unique<TestTranslator>();
        m_settings = &m_translator->settings;
    }
    void cleanup()
    {
        m_delegate.reset();
        m_translator.reset();
    }

    void theme_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<AppTheme::Scheme>("scheme");
        QTest::newRow("dark") << QVariant("dark") << AppTheme::Scheme::dark;
        QTest::newRow("Dark") << QVariant("Dark") << AppTheme::Scheme::light;
        QTest::newRow("light") << QVariant("light") << AppTheme::Scheme::light;
        QTest::newRow("absent") << QVariant() << AppTheme::Scheme::light;
    }
    void theme()
    {
        QFETCH(QVariant, stored);
        QFETCH(AppTheme::Scheme, scheme);
        if (stored.isValid()) {
            m_settings->setValue("appTheme", stored);
        }
        launch();
        QCOMPARE(AppTheme::current(), scheme);
        QCOMPARE(QApplication::palette().color(QPalette::Window),
                 AppTheme::palette(scheme).color(QPalette::Window));
        QCOMPARE(QApplication::style()->name(), "fusion");

        // The tray glyph stays in the desktop's text colour whatever our scheme.
        const QImage glyph = m_delegate->statusItem()
                                 ->icon()
                                 .pixmap(QSize(18, 18), 1.0)
                                 .toImage()
                                 .convertToFormat(QImage::Format_ARGB32);
        const QColor desktopText = m_desktopPalette.color(QPalette::WindowText);
        int inked = 0;
        for (int y = 0; y < glyph.height(); ++y) {
            for (int x = 0; x < glyph.width(); ++x) {
                const QColor pixel = glyph.pixelColor(x, y);
                if (pixel.alpha() == 255) {
                    ++inked;
                    QCOMPARE(pixel.rgb(), desktopText.rgb());
                }
            }
        }
        QVERIFY(inked > 0);
    }

    void contextMenuEntries()
    {
        launch();
        std::unique_ptr<QMenu> menu(m_delegate->makeContextMenu());
        QStringList entries;
        for (const QAction *action : menu->actions()) {
            entries.append(action->isSeparator()
                               ? QStringLiteral("-")
                               : action->text() + QLatin1Char('|') +
                                     action->shortcut().toString(QKeySequence::PortableText));
        }
        QCOMPARE(entries,
                 (QStringList{"Open|", "-", "About Parlora - Quenzal|", "-", "Report a Problem|",
                              "Settings|Ctrl+,", "-", "Quit Parlora - Quenzal|Ctrl+Q"}));
    }

    void menuEntriesShowThePopoverThenAskForTheirPanel_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("notification");
        QTest::addColumn<PopoverContentView::Panel>("panel");
        QTest::newRow("Open") << 0 << "" << PopoverContentView::Panel::none;
        QTest::newRow("About") << 2 << "showAbout" << PopoverContentView::Panel::about;
        QTest::newRow("Report") << 4 << "showReport" << PopoverContentView::Panel::report;
        QTest::newRow("Settings") << 5 << "showSettings" << PopoverContentView::Panel::settings;
    }
    void menuEntriesShowThePopoverThenAskForTheirPanel()
    {
        QFETCH(int, entry);
        QFETCH(QString, notification);
        QFETCH(PopoverContentView::Panel, panel);
        launch();
        QSignalSpy posted(&AppNotifier::instance(), &AppNotifier::posted);
        bool shownFirst = false;
        QObject listener; // ends the connection with this test function
        connect(&AppNotifier::instance(), &AppNotifier::posted, &listener,
                [&] { shownFirst = m_delegate->popover()->isVisible(); });
        std::unique_ptr<QMenu> menu(m_delegate->makeContextMenu());
        menu->actions().at(entry)->trigger();
        QVERIFY(m_delegate->popover()->isVisible());
        QCOMPARE(posted.count(), notification.isEmpty() ? 0 : 1);
        if (!notification.isEmpty()) {
            QCOMPARE(posted.first().first().toString(), notification);
            QVERIFY(shownFirst);
        }
        QCOMPARE(m_delegate->popover()->content()->panel(), panel);
    }

    void quitEndsTheEventLoop()
    {
        launch();
        std::unique_ptr<QMenu> menu(m_delegate->makeContextMenu());
        menu->actions().last()->trigger();
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    void clicksToggleOnlyOnTheLeftButton()
    {
        launch();
        m_delegate->handleClick(QSystemTrayIcon::Trigger);
        QVERIFY(m_delegate->popover()->isVisible());
        m_delegate->handleClick(QSystemTrayIcon::MiddleClick);
        QVERIFY(m_delegate->popover()->isVisible());
        m_delegate->handleClick(QSystemTrayIcon::Trigger);
        QVERIFY(!m_delegate->popover()->isVisible());
    }

    void hidingKeepsTheTexts()
    {
        launch();
        m_delegate->showPopover();
        m_delegate->popover()->content()->viewModel().setSourceText("Hallo");
        m_delegate->closePopover();
        // Hidden, the window lets go of its native window and the image behind it.
        QTRY_VERIFY(!m_delegate->popover()->testAttribute(Qt::WA_WState_Created));
        m_delegate->showPopover();
        QVERIFY(m_delegate->popover()->isVisible());
        QCOMPARE(m_delegate->popover()->content()->viewModel().sourceText(), "Hallo");

        // Escape typed into the editor puts the popover away too.
        QVERIFY(QTest::qWaitForWindowActive(m_delegate->popover()));
        QTest::keyClick(m_delegate->popover()->content()->editor(), Qt::Key_Escape);
        QVERIFY(!m_delegate->popover()->isVisible());
        QCOMPARE(m_delegate->popover()->content()->viewModel().sourceText(), "Hallo");
    }

    void resizeIsAppliedAtOnceAndStoredOnlyAtTheEnd()
    {
        launch();
        QCOMPARE(m_delegate->popover()->size(), QSize(780, 460));
        AppNotifier::instance().post(AppNotifier::popoverResizeRequested,
                                     {{"size", QSizeF(880, 510)}});
        QCOMPARE(m_delegate->popover()->size(), QSize(880, 510));
        QVERIFY(!m_settings->contains("popoverWidth"));
        AppNotifier::instance().post(AppNotifier::popoverResizeRequested,
                                     {{"size", QSizeF(1000, 700)}, {"final", true}});
        QCOMPARE(m_delegate->popover()->size(), QSize(1000, 700));
        QCOMPARE(m_settings->value("popoverWidth").toDouble(), 1000.0);
        QCOMPARE(m_settings->value("popoverHeight").toDouble(), 700.0);
        QCOMPARE(m_settings->value("popoverSize").toMap(),
                 (QVariantMap{{"width", 1000.0}, {"height", 700.0}}));
        AppNotifier::instance().post(AppNotifier::popoverResizeRequested, {{"final", true}});
        QCOMPARE(m_delegate->popover()->size(), QSize(1000, 700));

        // The next start opens at the stored size.
        m_delegate.reset();
        launch();
        QCOMPARE(m_delegate->popover()->size(), QSize(1000, 700));
    }

    void trayGlyph_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("the glyph") << MenuBarIcon::glyphPath;
        QTest::newRow("glyph missing: speech bubbles") << "/nonexistent/translate-01.svg";
    }
    void trayGlyph()
    {
        QFETCH(QString, path);
        const QImage image = MenuBarIcon::make(Qt::red, path)
                                 .pixmap(QSize(18, 18), 1.0)
                                 .toImage()
                                 .convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(18, 18));
        int inked = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() > 0) {
                    ++inked;
                    QCOMPARE(pixel.red(), 255); // drawn in the one colour asked for
                    QCOMPARE(pixel.green(), 0);
                }
            }
        }
        // Some strokes, not a blot.
        QVERIFY2(inked > 30 && inked < 18 * 18 * 3 / 4, qPrintable(QString::number(inked)));
    }

private:
    // The shell over the test's translator and stand-ins for the desktop's services.
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
