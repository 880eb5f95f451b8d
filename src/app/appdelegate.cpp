#include "appdelegate.h"

#include "aboutview.h"
#include "appnotifier.h"
#include "apptheme.h"
#include "clickshield.h"
#include "compositor.h"
#include "deployment.h"
#include "globalshortcut.h"
#include "layershell.h"
#include "menubaricon.h"
#include "popovercontentview.h"
#include "popovergeometry.h"
#include "popoverwindow.h"
#include "preferences.h"
#include "pressmonitor.h"
#include "reportproblemview.h"
#include "selectedtext.h"
#include "selectionreader.h"
#include "settingsview.h"
#include "shortcutsetting.h"
#include "translatorviewmodel.h"
#include "trayhost.h"
#include "windowhints.h"

#include <QApplication>
#include <QCoro/QCoroSignal>
#include <QCursor>
#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QMenu>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcShell, "quenzal.shell", QtInfoMsg)
// Off unless asked for (QT_LOGGING_RULES="quenzal.timing.debug=true"): the benchmarks read it.
Q_LOGGING_CATEGORY(lcTiming, "quenzal.timing", QtInfoMsg)

qint64 monotonicMicroseconds()
{
    return QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs() / 1000;
}

} // namespace

AppDelegate::AppDelegate(Services services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
{}

AppDelegate::~AppDelegate()
{
    delete m_popover;
    delete m_shield;
}

namespace {

// The size of the square taken for a tray icon whose place the tray keeps to itself.
constexpr int iconExtent = 24;
// Where a Wayland compositor keeps the icon's place to itself: the popover's distance from the
// top right corner of the free area, where tray icons usually are.
constexpr QMargins layerMargins(0, 6, 8, 0);
// Two activations closer than this are one click told twice.
constexpr qint64 echoMilliseconds = 150;

} // namespace

void AppDelegate::applicationDidFinishLaunching()
{
    // The tray sits on the desktop's panel, not in our popover: its glyph takes the desktop's
    // text colour, read before our palette replaces the desktop's.
    m_desktopTextColor = QGuiApplication::palette().color(QPalette::WindowText);
    applyStoredTheme();
    setupStatusItem();
    setupPopover();
    setupGlobalHotkey();
}

void AppDelegate::applyStoredTheme()
{
    AppTheme::apply(m_services.preferences.prefersDarkTheme() ? AppTheme::Scheme::dark
                                                              : AppTheme::Scheme::light);
}

void AppDelegate::setupStatusItem()
{
    TrayHost *host = m_services.trayHost;
    if (host && !host->isAvailable()) {
        std::fprintf(stderr, "Parlora - Quenzal: no system tray yet; the icon appears as soon "
                             "as one starts.\n");
        connect(host, &TrayHost::appeared, this, &AppDelegate::createStatusItem,
                Qt::SingleShotConnection);
        host->watch();
        return;
    }
    createStatusItem();
}

QIcon AppDelegate::trayIcon(const QColor &color) const
{
    // The symbolic icon is in the theme once the program is installed. Looked for as a file:
    // loading the icon theme would hold the tray icon back by milliseconds.
    const QString themeName = Deployment::appId() + QStringLiteral("-symbolic");
    const bool installed = !QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                   QStringLiteral("icons/hicolor/scalable/apps/") +
                                                       themeName + QStringLiteral(".svg"))
                                .isEmpty();
    return MenuBarIcon::make(color, MenuBarIcon::glyphPath, installed ? themeName : QString());
}

void AppDelegate::createStatusItem()
{
    m_statusItem = new QSystemTrayIcon(trayIcon(m_desktopTextColor), this);
    m_statusItem->setToolTip(QStringLiteral("Parlora - Quenzal"));
    m_menu.reset(makeContextMenu());
    m_statusItem->setContextMenu(m_menu.get());
    connect(m_statusItem, &QSystemTrayIcon::activated, this, &AppDelegate::handleClick);
    m_statusItem->show();
    // Hands the dock request to the tray now rather than when the event loop starts: building
    // the popover takes several milliseconds, and the icon need not wait for it.
    QGuiApplication::sync();
    qCDebug(lcShell) << "tray icon shown:" << m_statusItem->toolTip();
    matchTrayBackground();
}

void AppDelegate::matchTrayBackground()
{
    // An XEmbed tray gives the icon a place on the screen and shows its own background around
    // the glyph, in whatever colour the panel has; the glyph takes the colour that stands out
    // on it. Trays that keep the place to themselves draw the themed icon in their colours.
    auto *timer = new QTimer(this);
    timer->setInterval(250);
    connect(timer, &QTimer::timeout, this, [this, timer, ticks = 0, docked = 0]() mutable {
        const QRect place = m_statusItem->geometry();
        docked = place.isValid() ? docked + 1 : 0;
        if (docked < 2) { // docked and painted, a tick after the tray placed it
            if (++ticks >= 40) {
                timer->deleteLater();
            }
            return;
        }
        timer->deleteLater();
        QScreen *screen = QGuiApplication::screenAt(place.center());
        if (!screen) {
            return;
        }
        const QRect onScreen = place.translated(-screen->geometry().topLeft());
        const QColor background = MenuBarIcon::backgroundOf(
            screen->grabWindow(0, onScreen.x(), onScreen.y(), onScreen.width(), onScreen.height())
                .toImage());
        if (background.isValid()) {
            m_statusItem->setIcon(trayIcon(MenuBarIcon::glyphColorOn(background)));
            qCDebug(lcShell) << "tray background" << background.name();
        }
    });
    timer->start();
}

void AppDelegate::setupPopover()
{
    auto *content =
        new PopoverContentView(m_services.viewModel, m_services.preferences, m_services.dictation);
    content->setPanelFactory([this](PopoverContentView::Panel panel, std::function<void()> close) {
        return makePanel(panel, close);
    });
    // Translucent only where the compositor blurs what lies behind: through a plain
    // translucent window the text of the windows behind would read through the translator's.
    m_popover = new PopoverWindow(content, Compositor::blursBehind(), LayerShell::isAvailable());
    connect(m_popover, &PopoverWindow::painted, this,
            [] { qCDebug(lcTiming) << "popover painted" << monotonicMicroseconds(); });
    m_popover->resize(m_services.preferences.popoverSize());
    if (std::exchange(m_activatedEarly, false)) {
        QTimer::singleShot(0, this, &AppDelegate::iconActivated);
    }
    if (m_popover->windowFlags().testFlag(Qt::BypassWindowManagerHint)) {
        layerPopups();
        m_shield = new ClickShield;
        connect(m_shield, &ClickShield::pressed, this, &AppDelegate::closePopover);
    }
    // Escape puts the popover away, as it does any transient window, unless a control inside
    // uses it (the shortcut recorder in the settings does).
    connect(m_popover, &PopoverWindow::dismissRequested, this, &AppDelegate::closePopover);
    connect(&AppNotifier::instance(), &AppNotifier::posted, this,
            [this](const QString &name, const QVariantMap &userInfo) {
                if (name == AppNotifier::popoverResizeRequested) {
                    handlePopoverResize(userInfo);
                }
            });
    if (m_services.pressMonitor) {
        connect(m_services.pressMonitor, &PressMonitor::pressed, this, [this](const QPoint &at) {
            if (PopoverGeometry::closesPopover(m_popover->frameGeometry(), m_popover->isVisible(),
                                               at, statusItemRect(), ownWindowFrames())) {
                m_closingPress.emplace(at);
                m_closingPressTime.start();
                QTimer::singleShot(0, this, &AppDelegate::closePopover);
            }
        });
    } else {
        // Where presses in other programs cannot be seen, losing the keyboard stands for them.
        connect(m_popover, &PopoverWindow::deactivated, this, [this] {
            qCDebug(lcShell) << "the popover lost the keyboard";
            QTimer::singleShot(0, this, [this] {
                // Unless the keyboard went to a window of ours (the language list).
                if (m_popover->isVisible() && !QGuiApplication::focusWindow()) {
                    m_closingPress.emplace();
                    m_closingPressTime.start();
                    closePopover();
                }
            });
        });
    }
}

void AppDelegate::layerPopups()
{
    // A compositor places a popup of a window on the layer shell only when told through the
    // layer shell, which Qt does not know. So the popover's popups (language lists, menus,
    // tooltips) go on the layer themselves, at the place Qt gave them relative to the popover;
    // a popup of no window of ours (the tray's menu) goes where the popover would.
    qApp->installEventFilter(this);
}

bool AppDelegate::eventFilter(QObject *watched, QEvent *event)
{
    // Sent when the widget is made but its window not yet shown.
    if (event->type() != QEvent::Show || !watched->isWidgetType()) {
        return false;
    }
    auto *popup = static_cast<QWidget *>(watched);
    const Qt::WindowType type = popup->windowType();
    if ((type != Qt::Popup && type != Qt::ToolTip) || !popup->windowHandle() ||
        popup->windowHandle()->flags().testFlag(Qt::BypassWindowManagerHint)) {
        return false;
    }
    const bool ofPopover = popup->parentWidget() && popup->parentWidget()->window() == m_popover;
    LayerShell::attachAtEveryShow(
        popup->windowHandle(),
        [this, popup, ofPopover] {
            if (!ofPopover) {
                return layerMargins;
            }
            const QPoint offset = popup->geometry().topLeft() - m_popover->geometry().topLeft();
            return QMargins(0, std::max(0, layerMargins.top() + offset.y()),
                            std::max(0, layerMargins.right() + m_popover->width() - offset.x() -
                                            popup->width()),
                            0);
        },
        type == Qt::ToolTip ? LayerShell::Role::tooltip : LayerShell::Role::popup);
    return false;
}

void AppDelegate::setupGlobalHotkey()
{
    using Action = Preferences::ShortcutAction;
    const auto setup = [this](GlobalShortcut &shortcut, Action action, void (AppDelegate::*act)()) {
        connect(&shortcut, &GlobalShortcut::activated, this, [this, act] {
            qCDebug(lcTiming) << "shortcut" << monotonicMicroseconds();
            QTimer::singleShot(0, this, act);
        });
        connect(&shortcut, &GlobalShortcut::failed, this, [](const QString &reason) {
            std::fprintf(stderr, "Parlora - Quenzal: a global shortcut is not available: %s\n",
                         qPrintable(reason));
        });
        shortcut.setShortcut(ShortcutSetting::stored(m_services.preferences, action)[0]);
    };
    setup(m_services.shortcut, Action::show, &AppDelegate::togglePopover);
    setup(m_services.clipboardShortcut, Action::translateClipboard,
          &AppDelegate::translateSelection);
}

void AppDelegate::translateSelection()
{
    if (!std::exchange(m_readingSelection, true)) {
        readSelection();
    }
}

QCoro::Task<> AppDelegate::readSelection()
{
    const QPointer<AppDelegate> self(this);
    SelectionReader &reader = m_services.selectionReader;
    if (reader.needsFocus() && m_popover) {
        // The desktop tells the program with the keyboard what is selected: the popover first.
        m_popover->content()->showPanel(PopoverContentView::Panel::none);
        showPopover();
        if (!m_popover->isActiveWindow()) {
            co_await qCoro(m_popover->windowHandle(), &QWindow::activeChanged,
                           std::chrono::seconds(1));
        }
        if (!self) {
            co_return;
        }
    }
    const std::optional<QString> text = co_await SelectedText::fetch(reader);
    if (!self) {
        co_return;
    }
    m_readingSelection = false;
    qCDebug(lcTiming) << "selection read" << monotonicMicroseconds();
    showTranslator(text);
}

void AppDelegate::translateText(const QString &text)
{
    showTranslator(text);
}

void AppDelegate::showTranslator(const std::optional<QString> &text)
{
    if (!m_popover) {
        return;
    }
    // Before the popover shows, so that its first picture has the text in it.
    m_popover->content()->showPanel(PopoverContentView::Panel::none);
    if (text) {
        m_services.viewModel.translateText(*text);
    }
    showPopover();
}

QWidget *AppDelegate::makePanel(PopoverContentView::Panel panel, std::function<void()> close)
{
    switch (panel) {
    case PopoverContentView::Panel::settings: {
        // Asked at every opening: a keyring may have started meanwhile.
        KeychainHelper *keychain = m_services.keyringAvailable() ? &m_services.keychain : nullptr;
        return new SettingsView(m_services.viewModel, m_services.loginItem, keychain,
                                {&m_services.shortcut, &m_services.clipboardShortcut},
                                m_services.preferences, &m_services.dictation, std::move(close));
    }
    case PopoverContentView::Panel::report:
        return new ReportProblemView(ReportProblemView::deploymentSender(m_services.telegram),
                                     std::move(close));
    case PopoverContentView::Panel::about:
        return new AboutView(std::move(close));
    case PopoverContentView::Panel::none:
        break;
    }
    return nullptr;
}

void AppDelegate::handleClick(QSystemTrayIcon::ActivationReason reason)
{
    qCDebug(lcShell) << "tray icon activated:" << reason;
    // GTK panels (waybar) pass on a double click's second press twice, as a press and as a
    // double press: one click, however it is told.
    if (reason == QSystemTrayIcon::Trigger) {
        const bool echo = m_triggerTime.isValid() && m_triggerTime.elapsed() < echoMilliseconds;
        m_triggerTime.start();
        if (echo) {
            return;
        }
    }
    switch (reason) {
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::DoubleClick: // a quick second click is a second click all the same
    case QSystemTrayIcon::Unknown:
        iconActivated();
        break;
    case QSystemTrayIcon::Context: // the tray shows the icon's menu itself
    case QSystemTrayIcon::MiddleClick:
        break;
    }
}

void AppDelegate::iconActivated()
{
    if (!m_popover) {
        // The tray passed on a click while the icon was being shown, before the popover was
        // made: it is answered once the popover is there.
        m_activatedEarly = true;
        return;
    }
    if (m_statusItem && !m_statusItem->geometry().isValid()) {
        const QPoint pointer = QCursor::pos();
        m_iconPoint = pointer;
        // The press of this click was seen as a press outside (or took the keyboard away),
        // before the tray said anything, and has closed the popover already; opening it again
        // would undo the user's click.
        if (m_closingPress && m_popover && !m_popover->isVisible() &&
            PopoverGeometry::endsClosingClick(*m_closingPress, m_closingPressTime.elapsed(),
                                              pointer)) {
            m_closingPress.reset();
            return;
        }
    }
    m_closingPress.reset();
    togglePopover();
}

QRect AppDelegate::statusItemRect() const
{
    const QRect place = m_statusItem ? m_statusItem->geometry() : QRect();
    if (place.isValid() || !m_iconPoint) {
        return place;
    }
    QRect square(0, 0, iconExtent, iconExtent);
    square.moveCenter(*m_iconPoint);
    return square;
}

QList<QRect> AppDelegate::ownWindowFrames() const
{
    QList<QRect> frames;
    for (const QWidget *window : QApplication::topLevelWidgets()) {
        if (window != m_popover && window->isVisible()) {
            frames.append(window->frameGeometry());
        }
    }
    return frames;
}

void AppDelegate::togglePopover()
{
    if (!m_popover) {
        return;
    }
    if (m_popover->isVisible()) {
        closePopover();
    } else {
        showPopover();
    }
}

void AppDelegate::showPopover()
{
    if (!m_popover || m_popover->isVisible()) {
        return;
    }
    // Under the icon; where the tray keeps its place to itself, under the panel where the icon
    // was last clicked; under the pointer when nothing is known.
    QRect anchor = m_statusItem ? m_statusItem->geometry() : QRect();
    const QPoint pointer = QCursor::pos();
    const QPoint reference = anchor.isValid() ? anchor.center() : m_iconPoint.value_or(pointer);
    QScreen *screen = QGuiApplication::screenAt(reference);
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    if (!anchor.isValid() && m_iconPoint) {
        anchor = PopoverGeometry::panelAnchor(*m_iconPoint, available);
    }
    const QSize size = m_services.preferences.popoverSize().boundedTo(available.size());
    m_popover->resize(size);
    m_popover->move(PopoverGeometry::placement(anchor, pointer, size, available).topLeft());
    m_popover->winId(); // the native window must exist before it gets its hints
    WindowHints::skipTaskbarAndPager(m_popover->windowHandle());
    if (m_shield) {
        m_shield->setOpening(layerMargins, size);
        m_shield->show();
        if (!LayerShell::attach(m_shield->windowHandle(), {}, LayerShell::Role::shield)) {
            m_shield->hide();
        }
    }
    m_popover->show();
    if (m_popover->windowFlags().testFlag(Qt::BypassWindowManagerHint) &&
        !LayerShell::attach(m_popover->windowHandle(), layerMargins)) {
        qCWarning(lcShell) << "the compositor refused the popover its layer; shown as a window";
        m_popover->hide();
        if (m_shield) {
            m_shield->hide();
        }
        m_popover->setWindowFlag(Qt::BypassWindowManagerHint, false);
        m_popover->show();
    }
    m_popover->raise();
    m_popover->activateWindow();
    stopClickOutsideMonitor();
    startClickOutsideMonitor();
    emit popoverShown();
}

void AppDelegate::closePopover()
{
    if (m_popover) {
        m_popover->hide();
    }
    if (m_shield) {
        m_shield->hide();
    }
    stopClickOutsideMonitor();
}

void AppDelegate::startClickOutsideMonitor()
{
    m_monitoring = m_services.pressMonitor && m_services.pressMonitor->start();
}

void AppDelegate::stopClickOutsideMonitor()
{
    if (m_monitoring) {
        m_services.pressMonitor->stop();
        m_monitoring = false;
    }
}

QMenu *AppDelegate::makeContextMenu()
{
    auto *menu = new QMenu;
    QAction *open = menu->addAction(QStringLiteral("Open"), this, &AppDelegate::showPopover);
    menu->addSeparator();
    QAction *about = menu->addAction(QStringLiteral("About Parlora - Quenzal"), this,
                                     [this] { openPanel(AppNotifier::showAbout); });
    menu->addSeparator();
    QAction *report = menu->addAction(QStringLiteral("Report a Problem"), this,
                                      [this] { openPanel(AppNotifier::showReport); });
    QAction *settings = menu->addAction(QStringLiteral("Settings"), this,
                                        [this] { openPanel(AppNotifier::showSettings); });
    settings->setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_Comma));
    menu->addSeparator();
    QAction *quit = menu->addAction(QStringLiteral("Quit Parlora - Quenzal"), qApp,
                                    &QCoreApplication::quit, Qt::QueuedConnection);
    quit->setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_Q));
    // The icons come from the icon theme, whose loading would hold the tray icon back; a tray
    // asks for the menu just before it shows it.
    connect(
        menu, &QMenu::aboutToShow, menu,
        [=] {
            const auto icon = [](const char *name) {
                return QIcon::fromTheme(QLatin1String(name));
            };
            open->setIcon(icon("window-new"));
            about->setIcon(icon("help-about"));
            report->setIcon(icon("tools-report-bug"));
            settings->setIcon(icon("preferences-system"));
            quit->setIcon(icon("application-exit"));
        },
        Qt::SingleShotConnection);
    return menu;
}

void AppDelegate::openPanel(const QString &notification)
{
    showPopover();
    qCDebug(lcShell) << "posting" << notification;
    AppNotifier::instance().post(notification);
}

void AppDelegate::handlePopoverResize(const QVariantMap &userInfo)
{
    if (!m_popover) {
        return;
    }
    const std::optional<QSize> size = PopoverGeometry::requestedSize(userInfo);
    if (!size) {
        return;
    }
    m_popover->resize(*size);
    if (m_shield) {
        m_shield->setOpening(layerMargins, m_popover->size());
    }
    if (userInfo.value(QStringLiteral("final")).toBool()) {
        m_services.preferences.setPopoverSize(*size);
    }
}
