// The shell without a desktop: theme, menu, clicks and resize requests; the popover's size and
// place, and which presses close it.
#include "appdelegate.h"
#include "appnotifier.h"
#include "apptheme.h"
#include "fakeglobalshortcut.h"
#include "fakeloginitem.h"
#include "fakesecretstore.h"
#include "keychainhelper.h"
#include "noscrolltexteditor.h"
#include "popovercontentview.h"
#include "popovergeometry.h"
#include "popoverwindow.h"
#include "pressmonitor.h"
#include "telegramreporter.h"
#include "testtranslator.h"
#include "unavailabledictation.h"

#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

class TestApp : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_translator = std::make_unique<TestTranslator>(); }
    void cleanup()
    {
        m_delegate.reset();
        m_translator.reset();
    }

    // The stored scheme is applied; the tray glyph keeps the desktop's text colour.
    void theme()
    {
        const QRgb desktopInk = QApplication::palette().color(QPalette::WindowText).rgba();
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
        QCOMPARE(inks, QSet<QRgb>{desktopInk});
    }

    // Open shows the popover; Settings shows it, then asks it for its panel. A click toggles the
    // popover, Escape hides it; hidden, it keeps the texts. A press outside closes it.
    void menuAndClicks()
    {
        launch();
        std::unique_ptr<QMenu> menu(m_delegate->makeContextMenu());
        menu->actions().at(0)->trigger();
        QVERIFY(m_delegate->popover()->isVisible());
        QCOMPARE(m_delegate->popover()->content()->panel(), PopoverContentView::Panel::none);
        m_delegate->popover()->hide();
        QSignalSpy posted(&AppNotifier::instance(), &AppNotifier::posted);
        menu->actions().at(5)->trigger();
        QCOMPARE(m_delegate->popover()->content()->panel(), PopoverContentView::Panel::settings);
        QCOMPARE(posted.count(), 1);
        QVERIFY(m_delegate->popover()->isVisible());

        PopoverWindow *popover = m_delegate->popover();
        popover->hide();
        m_delegate->handleClick(QSystemTrayIcon::Trigger);
        QVERIFY(popover->isVisible());
        popover->content()->viewModel().setSourceText("Hallo");
        m_delegate->handleClick(QSystemTrayIcon::Trigger);
        QVERIFY(!popover->isVisible());
        m_delegate->showPopover();
        QVERIFY(QTest::qWaitForWindowActive(popover));
        QVERIFY(m_pressMonitor.isActive());
        QTest::keyClick(popover->content()->editor(), Qt::Key_Escape);
        QVERIFY(!popover->isVisible());
        QVERIFY(!m_pressMonitor.isActive()); // presses elsewhere no longer concern it
        QCOMPARE(popover->content()->viewModel().sourceText(), "Hallo");
        m_delegate->showPopover();
        emit m_pressMonitor.pressed(popover->frameGeometry().bottomRight() + QPoint(5, 5));
        QVERIFY(popover->isVisible()); // closed on the next turn, not inside the handler
        QTRY_VERIFY(!popover->isVisible());
    }

    // A resize request is applied at once and stored only when it is the last; one that is no
    // finite size is ignored.
    void resizeRequests_data()
    {
        QTest::addColumn<QVariant>("size");
        QTest::addColumn<QSize>("applied"); // empty: ignored
        QTest::newRow("whole size") << QVariant(QSize(880, 510)) << QSize(880, 510);
        QTest::newRow("not a size") << QVariant("880x510") << QSize();
        QTest::newRow("infinite") << QVariant(QSizeF(qInf(), 500)) << QSize();
    }
    void resizeRequests()
    {
        QFETCH(QVariant, size);
        QFETCH(QSize, applied);
        launch();
        const QSize shown = applied.isEmpty() ? m_delegate->popover()->size() : applied;
        for (const bool last : {false, true}) {
            AppNotifier::instance().post(AppNotifier::popoverResizeRequested,
                                         {{"size", size}, {"final", last}});
            QCOMPARE(m_delegate->popover()->size(), shown);
            QCOMPARE(m_translator->settings.contains("popoverSize"), last && !applied.isEmpty());
        }
        QCOMPARE(m_translator->preferences.popoverSize(), shown);
    }

    void placement_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("frame");
        // On a screen of 1280 x 800 below a panel of 24 at the top.
        const auto row = [](const char *name, QRect anchor, QPoint topLeft,
                            QSize size = QSize(780, 460), QPoint pointer = {}) {
            QTest::newRow(name) << anchor << pointer << size << QRect(topLeft, size);
        };
        row("exactly at the right edge", QRect(879, 0, 24, 24), {500, 24});
        row("exactly fits below", QRect(600, 316, 24, 24), {221, 340});
        row("one pixel too low: pushed up", QRect(600, 317, 24, 24), {221, 340});
        row("exactly fits above", QRect(600, 484, 24, 24), {221, 24});
        row("one pixel short above: pushed up", QRect(600, 483, 24, 24), {221, 340});
        row("no tray geometry: under the pointer", QRect(), {10, 301}, {780, 460}, {400, 300});
        row("screen smaller than the popover", QRect(600, 0, 24, 24), {0, 24}, {1400, 900});
    }
    void placement()
    {
        QFETCH(QRect, anchor);
        QFETCH(QPoint, pointer);
        QFETCH(QSize, size);
        QFETCH(QRect, frame);
        QCOMPARE(PopoverGeometry::placement(anchor, pointer, size, QRect(0, 24, 1280, 776)), frame);
    }

    void pressesThatClose_data()
    {
        QTest::addColumn<QPoint>("press");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("closes");
        QTest::newRow("bottom-right edge") << QPoint(1279, 483) << true << false;
        QTest::newRow("just outside") << QPoint(1280, 483) << true << true;
        QTest::newRow("outside, popover hidden") << QPoint(1280, 483) << false << false;
        QTest::newRow("on the tray icon") << QPoint(900, 10) << true << false;
        QTest::newRow("beside the tray icon") << QPoint(920, 10) << true << true;
    }
    void pressesThatClose()
    {
        QFETCH(QPoint, press);
        QFETCH(bool, visible);
        QFETCH(bool, closes);
        QCOMPARE(PopoverGeometry::closesPopover(QRect(500, 24, 780, 460), visible, press,
                                                QRect(890, 2, 22, 22)),
                 closes);
    }

private:
    void launch()
    {
        m_delegate = std::make_unique<AppDelegate>(
            AppDelegate::Services{.preferences = m_translator->preferences,
                                  .viewModel = *m_translator->viewModel,
                                  .dictation = m_dictation,
                                  .shortcut = m_shortcut,
                                  .pressMonitor = &m_pressMonitor,
                                  .loginItem = m_loginItem,
                                  .keychain = m_keychain,
                                  .keyringAvailable = [] { return true; },
                                  .telegram = m_telegram});
        m_delegate->applicationDidFinishLaunching();
    }

    std::unique_ptr<TestTranslator> m_translator;
    UnavailableDictation m_dictation;
    FakeGlobalShortcut m_shortcut;
    struct : PressMonitor
    {
        bool start() override { return m_active = true; }
        void stop() override { m_active = false; }
        bool isActive() const override { return m_active; }
        bool m_active = false;
    } m_pressMonitor;
    FakeLoginItem m_loginItem;
    KeychainHelper m_keychain{"org.example.Test", std::make_shared<FakeSecretStore>()};
    TelegramReporter m_telegram{QUrl("http://127.0.0.1:9"),
                                []() -> QCoro::Task<QString> { co_return QString(); }};
    std::unique_ptr<AppDelegate> m_delegate;
};

QTEST_MAIN(TestApp)
#include "tst_app.moc"
