#pragma once

#include "popovercontentview.h"

#include <QColor>
#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>
#include <optional>

class Dictation;
class GlobalShortcut;
class KeychainHelper;
class LoginItem;
class PopoverWindow;
class Preferences;
class PressMonitor;
class QMenu;
class SelectionReader;
class TelegramReporter;
class TrayHost;
class TranslatorViewModel;

// The shell: the tray icon and its clicks, the popover window, the click-outside monitor, the
// global shortcuts, the context menu and the resize requests. Lives for the whole run.
class ClickShield;

class AppDelegate : public QObject
{
    Q_OBJECT

public:
    // What the shell works with, made by the program and kept for the whole run.
    struct Services
    {
        Preferences &preferences;
        TranslatorViewModel &viewModel;
        Dictation &dictation;
        GlobalShortcut &shortcut;          // shows and hides the popover
        GlobalShortcut &clipboardShortcut; // translates the selection
        SelectionReader &selectionReader;
        PressMonitor *pressMonitor; // null where presses in other programs cannot be seen
        LoginItem &loginItem;
        KeychainHelper &keychain;
        // Whether a keyring can be reached now; asked each time the settings open.
        std::function<bool()> keyringAvailable;
        TelegramReporter &telegram;
        // Says when a tray comes, if there is none at start; null to make the icon at once.
        TrayHost *trayHost = nullptr;
    };

    explicit AppDelegate(Services services, QObject *parent = nullptr);
    ~AppDelegate() override;

    // The start-up sequence, once the application object exists: theme, tray icon, popover,
    // shortcut. (The single-instance check comes before, in QuenzalApp.)
    void applicationDidFinishLaunching();

    void handleClick(QSystemTrayIcon::ActivationReason reason);
    void showPopover();
    void closePopover();
    void togglePopover();
    void handlePopoverResize(const QVariantMap &userInfo);
    // Shows the popover with one of its panels: AppNotifier::showSettings, showReport or
    // showAbout.
    void openPanel(const QString &notification);
    // Shows the translator with the text selected in any program (else the clipboard's) as its
    // source and translates it at once; with neither, shows the translator as it was. A request
    // made while the selection is being read is the same request.
    void translateSelection();
    // Shows the translator with `text` as its source and translates it at once; a text over
    // the limit is refused with the usual message and changes nothing else.
    void translateText(const QString &text);

    // The menu of the tray icon; the icon keeps one for the whole run, as trays that draw the
    // menu themselves read it ahead of the click.
    QMenu *makeContextMenu();

    QSystemTrayIcon *statusItem() const { return m_statusItem; }
    PopoverWindow *popover() const { return m_popover; }
    GlobalShortcut *globalShortcut() const { return &m_services.shortcut; }

signals:
    // After the popover has been shown and placed; for tests and timing.
    void popoverShown();

protected:
    // Puts the popups of a popover on the layer shell there too.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyStoredTheme();
    void setupStatusItem();
    void createStatusItem();
    QIcon trayIcon(const QColor &color) const;
    void matchTrayBackground();
    // Where the tray icon is: its place when the tray tells it, else a small square around
    // where it was last clicked.
    QRect statusItemRect() const;
    QList<QRect> ownWindowFrames() const;
    void iconActivated();
    void setupPopover();
    void layerPopups();
    void setupGlobalHotkey();
    QCoro::Task<> readSelection();
    // The translator rather than a panel, with `text` taken and translated when there is one.
    void showTranslator(const std::optional<QString> &text);
    void startClickOutsideMonitor();
    void stopClickOutsideMonitor();
    QWidget *makePanel(PopoverContentView::Panel panel, std::function<void()> close);

    Services m_services;
    QSystemTrayIcon *m_statusItem = nullptr;
    PopoverWindow *m_popover = nullptr; // a top-level window, deleted by this object
    ClickShield *m_shield = nullptr;    // under a popover on the layer shell, deleted here too
    std::unique_ptr<QMenu> m_menu;
    bool m_monitoring = false;
    bool m_activatedEarly = false; // the icon was clicked before the popover was made
    bool m_readingSelection = false;
    QColor m_desktopTextColor;
    // Where the pointer was when the icon was last clicked, on trays that keep the icon's
    // place to themselves.
    std::optional<QPoint> m_iconPoint;
    // The press outside that last closed the popover, and how long ago.
    // What last closed the popover from outside, and how long ago: a press there, or (no place)
    // the keyboard going elsewhere.
    std::optional<std::optional<QPoint>> m_closingPress;
    QElapsedTimer m_closingPressTime;
    QElapsedTimer m_triggerTime; // since the icon's last activation
};
