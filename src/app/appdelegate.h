#pragma once

#include "popovercontentview.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <functional>

class Dictation;
class GlobalShortcut;
class KeychainHelper;
class LoginItem;
class PopoverWindow;
class Preferences;
class PressMonitor;
class QMenu;
class TelegramReporter;
class TranslatorViewModel;

// The shell: the tray icon and its clicks, the popover window, the click-outside monitor, the
// global shortcut, the context menu and the resize requests. Lives for the whole run.
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
        GlobalShortcut &shortcut;
        PressMonitor *pressMonitor; // null where presses in other programs cannot be seen
        LoginItem &loginItem;
        KeychainHelper &keychain;
        // Whether a keyring can be reached now; asked each time the settings open.
        std::function<bool()> keyringAvailable;
        TelegramReporter &telegram;
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
    // Built anew for every right click.
    void showContextMenu();
    void handlePopoverResize(const QVariantMap &userInfo);

    // The menu of the tray icon, for showContextMenu() and its tests.
    QMenu *makeContextMenu();

    QSystemTrayIcon *statusItem() const { return m_statusItem; }
    PopoverWindow *popover() const { return m_popover; }
    GlobalShortcut *globalShortcut() const { return &m_services.shortcut; }

signals:
    // After the popover has been shown and placed; for tests and timing.
    void popoverShown();

private:
    void applyStoredTheme();
    void setupStatusItem();
    void setupPopover();
    void setupGlobalHotkey();
    void startClickOutsideMonitor();
    void stopClickOutsideMonitor();
    void post(const QString &name);
    QWidget *makePanel(PopoverContentView::Panel panel, std::function<void()> close);

    Services m_services;
    QSystemTrayIcon *m_statusItem = nullptr;
    PopoverWindow *m_popover = nullptr; // a top-level window, deleted by this object
    bool m_monitoring = false;
    QColor m_desktopTextColor;
};
