// The shell without a desktop: theme, menu, clicks and resize requests; the popover's size and
// place, and which presses close it.
#include "appcontrol.h"
#include "appdelegate.h"
#include "appnotifier.h"
#include "apptheme.h"
#include "controlcommand.h"
#include "fakedictationbackend.h"
#include "fakeglobalshortcut.h"
#include "fakeloginitem.h"
#include "fakesecretstore.h"
#include "fakeselectionreader.h"
#include "keychainhelper.h"
#include "menubaricon.h"
#include "noscrolltexteditor.h"
#include "popovercontentview.h"
#include "popovergeometry.h"
#include "popoverwindow.h"
#include "pressmonitor.h"
#include "telegramreporter.h"
#include "testtranslator.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QPainter>
#include <QTest>

#include <cmath>

using namespace Qt::StringLiterals;

class TestApp : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_translator = std::make_unique<TestTranslator>();
        m_dictation =
            std::make_unique<TestDictation>(m_translator->preferences, *m_translator->viewModel,
                                            m_translator->home.dataHome() + "/models");
    }
    void cleanup()
    {
        m_delegate.reset();
        m_dictation.reset();
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

    // A click toggles the popover, Escape hides it; hidden, it keeps the texts. A press outside
    // closes it.
    void clicks()
    {
        launch();
        PopoverWindow *popover = m_delegate->popover();
        m_delegate->handleClick(QSystemTrayIcon::Trigger);
        m_delegate->handleClick(QSystemTrayIcon::Trigger); // the same click, told twice
        QVERIFY(popover->isVisible());
        popover->content()->viewModel().setSourceText("Hallo");
        m_delegate->handleClick(QSystemTrayIcon::Context); // the tray shows the menu itself
        QVERIFY(popover->isVisible());
        m_delegate->handleClick(QSystemTrayIcon::DoubleClick); // a quick second click
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

    // What the command line asks for; Qt's own options are left to Qt.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<ControlCommand::Action>("action");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("text");
        using A = ControlCommand::Action;
        QTest::newRow("qt's own") << QStringList{"-platform", "offscreen"} << A::none << false
                                  << QString();
        QTest::newRow("show twice")
            << QStringList{"-platform", "xcb", "--show", "--show"} << A::show << false << QString();
        QTest::newRow("two at once")
            << QStringList{"--show", "--hide"} << A::show << true << QString();
        QTest::newRow("a text like an option") << QStringList{"--translate", "--hide", "-platform"}
                                               << A::translate << false << u"--hide"_s;
        QTest::newRow("a text after =")
            << QStringList{"--translate=Grüße, Welt"} << A::translate << false << u"Grüße, Welt"_s;
        QTest::newRow("no text") << QStringList{"--translate"} << A::translate << true << QString();
        QTest::newRow("translate and hide")
            << QStringList{"--translate", "x", "--hide"} << A::translate << true << u"x"_s;
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QList<QByteArray> storage{"quenzal"};
        for (const QString &argument : arguments) {
            storage.append(argument.toUtf8());
        }
        std::vector<char *> argv;
        for (QByteArray &argument : storage) {
            argv.push_back(argument.data());
        }
        const ControlCommand::Parsed parsed = ControlCommand::parse(int(argv.size()), argv.data());
        QTEST(parsed.action, "action");
        QTEST(!parsed.error.isEmpty(), "refused");
        QTEST(parsed.text, "text");
    }

    // A bus name that another process holds is not trusted with the commands (which the desktop
    // tests send end to end), and an unknown panel is refused.
    void remoteControl()
    {
        if (!QDBusConnection::sessionBus().isConnected()) {
            QSKIP("needs a session bus (scripts/with-keyring)");
        }
        launch();
        const QString appId =
            "org.example.QuenzalTest" + QString::number(QCoreApplication::applicationPid());
        AppControl control(*m_delegate, appId);
        QString reason;
        {
            QDBusConnection squatter =
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, "squatter");
            QVERIFY(squatter.registerService(appId));
            QVERIFY(!control.publish(&reason)); // said, not stolen
            QVERIFY2(reason.contains(appId), qPrintable(reason));
            QDBusConnection::disconnectFromBus("squatter");
        }
        QTRY_VERIFY2(control.publish(&reason), qPrintable(reason));

        PopoverWindow *popover = m_delegate->popover();
        const qint64 self = QCoreApplication::applicationPid();
        using A = ControlCommand::Action;
        QCOMPARE(ControlCommand::send({A::show}, appId, self + 1), 1);
        QCOMPARE(ControlCommand::send({A::show}, appId + "Gone", self, 0), 1);
        QVERIFY(!popover->isVisible());

        const auto openPanel = [&](const QString &name) {
            QDBusMessage call = QDBusMessage::createMethodCall(appId, AppControl::objectPath(appId),
                                                               appId, "OpenPanel");
            call << name;
            return QDBusConnection::sessionBus().call(call).type();
        };
        QCOMPARE(openPanel("preferences"), QDBusMessage::ErrorMessage);
        QCOMPARE(openPanel("about"), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(popover->content()->panel(), PopoverContentView::Panel::about);
        const QDBusMessage asked =
            QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
                appId, AppControl::objectPath(appId), appId, "IsPopoverVisible"));
        QCOMPARE(asked.arguments().value(0), QVariant(true));
    }

    // The selected text, else the clipboard's, goes into the translator and out to DeepSeek at
    // once, over a panel and without a toggle; with neither, or too long, the popover only
    // opens, with the translator as it was (and the message for a text too long).
    void translateSelection_data()
    {
        using Content = SelectionReader::Content;
        using Outcome = SelectionReader::Outcome;
        QTest::addColumn<Content>("selection");
        QTest::addColumn<Content>("clipboard");
        QTest::addColumn<bool>("focus"); // the reader needs the popover to have the keyboard
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("error");
        const QString tooLong = TranslatorViewModel::textTooLongMessage;
        const Content hallo{Outcome::text, u"Hallo Welt"_s};
        QTest::newRow("selected") << hallo << Content{} << false << hallo.text << QString();
        QTest::newRow("copied, Wayland") << Content{} << hallo << true << hallo.text << QString();
        QTest::newRow("blank selection")
            << Content{Outcome::text, u" \n\t"_s} << hallo << false << hallo.text << QString();
        QTest::newRow("a picture") << Content{} << Content{} << false << u"typed"_s << QString();
        QTest::newRow("too long") << Content{Outcome::text, QString(5001, u'a')} << hallo << false
                                  << u"typed"_s << tooLong;
    }
    void translateSelection()
    {
        QFETCH(SelectionReader::Content, selection);
        QFETCH(SelectionReader::Content, clipboard);
        QFETCH(bool, focus);
        QFETCH(QString, source);
        QFETCH(QString, error);
        m_selection.contents = {{SelectionReader::Source::selection, selection},
                                {SelectionReader::Source::clipboard, clipboard}};
        m_selection.focus = focus;
        launch();
        m_translator->recognizer->dominant = "de";
        TranslatorViewModel &vm = *m_translator->viewModel;
        vm.setSourceLanguage(*Language::find(Language::sourceLanguages(), u"de"));
        vm.setSourceText("typed");
        PopoverWindow *popover = m_delegate->popover();
        m_delegate->openPanel(AppNotifier::showSettings);
        QTRY_COMPARE(popover->content()->panel(), PopoverContentView::Panel::settings);
        emit m_clipboardShortcut.activated();
        emit m_clipboardShortcut.activated(); // a second press while the first reads: the same
        QTRY_COMPARE(popover->content()->panel(), PopoverContentView::Panel::none);
        QTRY_COMPARE(vm.sourceText(), source);
        QVERIFY(popover->isVisible());
        QCOMPARE(vm.errorMessage(), error);
        QCOMPARE(vm.sourceLanguage().id, source == "typed" ? u"de"_s : u"auto"_s);
        QCOMPARE(vm.isTranslating() || !m_translator->server.requests().isEmpty(),
                 source != "typed");
        // Every translation asked for has come back (none is left hanging at the end).
        QTRY_COMPARE(m_translator->cache.count(), source == "typed" ? 0 : 1);
    }

    // A click that the tray passes on while the icon is being shown, before the popover
    // exists, opens it once the start-up is through.
    void clickDuringStartUp()
    {
        launch([this] { m_delegate->handleClick(QSystemTrayIcon::Trigger); });
        QTRY_VERIFY(m_delegate->popover()->isVisible());
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
        QTEST(PopoverGeometry::placement(anchor, pointer, size, QRect(0, 24, 1280, 776)), "frame");
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
        QTest::newRow("on our list below the popover") << QPoint(700, 600) << true << false;
    }
    void pressesThatClose()
    {
        QFETCH(QPoint, press);
        QFETCH(bool, visible);
        QTEST(PopoverGeometry::closesPopover(QRect(500, 24, 780, 460), visible, press,
                                             QRect(890, 2, 22, 22), {QRect(600, 60, 200, 700)}),
              "closes");
    }

    // Where the tray keeps the icon's place to itself: under the panel that was clicked.
    void underThePanel_data()
    {
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QPoint>("topLeft");
        const QRect belowTop(0, 30, 1280, 770);
        QTest::newRow("top panel") << QPoint(1000, 12) << belowTop << QPoint(500, 30);
        QTest::newRow("bottom panel")
            << QPoint(640, 790) << QRect(0, 0, 1280, 770) << QPoint(250, 310);
        QTest::newRow("left panel")
            << QPoint(10, 400) << QRect(40, 0, 1240, 800) << QPoint(40, 340);
        QTest::newRow("no panel there") << QPoint(640, 300) << belowTop << QPoint(250, 301);
    }
    void underThePanel()
    {
        QFETCH(QPoint, pointer);
        QFETCH(QRect, available);
        const QRect anchor = PopoverGeometry::panelAnchor(pointer, available);
        QTEST(PopoverGeometry::placement(anchor, {}, {780, 460}, available).topLeft(), "topLeft");
    }

    // An activation that ends the click whose press closed the popover.
    void endsClosingClick_data()
    {
        QTest::addColumn<bool>("seen"); // the press was seen, at 1000,12
        QTest::addColumn<qint64>("elapsed");
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<bool>("ends");
        QTest::newRow("at once, same place") << true << qint64(200) << QPoint(1000, 12) << true;
        QTest::newRow("a slow click") << true << qint64(1500) << QPoint(1004, 16) << true;
        QTest::newRow("much later") << true << qint64(1501) << QPoint(1000, 12) << false;
        QTest::newRow("elsewhere") << true << qint64(200) << QPoint(1005, 16) << false;
        QTest::newRow("unseen, at once") << false << qint64(600) << QPoint(50, 700) << true;
        QTest::newRow("unseen, a new click") << false << qint64(601) << QPoint() << false;
    }
    void endsClosingClick()
    {
        QFETCH(bool, seen);
        QFETCH(qint64, elapsed);
        QFETCH(QPoint, pointer);
        const std::optional<QPoint> press = seen ? std::optional(QPoint(1000, 12)) : std::nullopt;
        QTEST(PopoverGeometry::endsClosingClick(press, elapsed, pointer), "ends");
    }

    // On an XEmbed tray the glyph takes the colour that stands out on the tray's background,
    // read around it.
    void trayGlyphStandsOut_data()
    {
        QTest::addColumn<QColor>("background");
        for (const char *name :
             {"#ffffff", "#000000", "#777777", "#dcdad5", "#2b2b2b", "#3a6ea5"}) {
            QTest::newRow(name) << QColor(name);
        }
    }
    void trayGlyphStandsOut()
    {
        QFETCH(QColor, background);
        QImage place(24, 24, QImage::Format_RGB32);
        place.fill(background);
        QPainter(&place).fillRect(4, 4, 16, 16, QColor(background.rgb() ^ 0xffffff));
        QCOMPARE(MenuBarIcon::backgroundOf(place), background);
        const auto luminance = [](const QColor &color) {
            const auto channel = [](double v) {
                return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
            };
            return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
                   0.0722 * channel(color.blueF());
        };
        const double glyph = luminance(MenuBarIcon::glyphColorOn(background));
        const double back = luminance(background);
        QVERIFY((std::max(glyph, back) + 0.05) / (std::min(glyph, back) + 0.05) >= 4);
    }

private:
    // `beforeLaunch` runs between the making of the shell and its start-up.
    void launch(const std::function<void()> &beforeLaunch = [] {})
    {
        m_delegate = std::make_unique<AppDelegate>(
            AppDelegate::Services{.preferences = m_translator->preferences,
                                  .viewModel = *m_translator->viewModel,
                                  .dictation = m_dictation->dictation,
                                  .shortcut = m_shortcut,
                                  .clipboardShortcut = m_clipboardShortcut,
                                  .selectionReader = m_selection,
                                  .pressMonitor = &m_pressMonitor,
                                  .loginItem = m_loginItem,
                                  .keychain = m_keychain,
                                  .keyringAvailable = [] { return true; },
                                  .telegram = m_telegram});
        beforeLaunch();
        m_delegate->applicationDidFinishLaunching();
    }

    std::unique_ptr<TestTranslator> m_translator;
    std::unique_ptr<TestDictation> m_dictation;
    FakeGlobalShortcut m_shortcut;
    FakeGlobalShortcut m_clipboardShortcut;
    FakeSelectionReader m_selection;
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
