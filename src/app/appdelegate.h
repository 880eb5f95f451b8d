#pragma once

#include "popovercontentview.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <memory>

class GlobalShortcut;
class KeychainSecretStore;
class LoginItem;
class PopoverWindow;
class PressMonitor;
class QMenu;
class QSettings;

// The shell: the tray icon and its clicks, the popover window, the click-outside monitor, the
// global shortcut, the context menu and the resize requests. Lives for the whole run.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    explicit AppDelegate(QSettings &settings, QObject *parent = nullptr);
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
    GlobalShortcut *globalShortcut() const { return m_shortcut.get(); }

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

    QSettings &m_settings;
    QSystemTrayIcon *m_statusItem = nullptr;
    PopoverWindow *m_popover = nullptr; // a top-level window, deleted by this object
    std::unique_ptr<PressMonitor> m_pressMonitor;
    std::unique_ptr<GlobalShortcut> m_shortcut;
    // Made when the settings first open.
    std::unique_ptr<LoginItem> m_loginItem;
    std::unique_ptr<KeychainSecretStore> m_secretStore;
    bool m_monitoring = false;
    QColor m_desktopTextColor;
};
