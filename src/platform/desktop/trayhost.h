#pragma once

#include <QObject>
#include <QTimer>

class QDBusServiceWatcher;

// Whether the desktop has a system tray to show the icon in: a StatusNotifierItem host (the
// watcher on the session bus with a host registered: Plasma, Xfce, GNOME's AppIndicator
// extension, waybar) or, on X11, an XEmbed tray (the owner of _NET_SYSTEM_TRAY_S0). Qt decides
// between the two once, when the first tray icon is made, so the icon must not be made before
// either is there. When neither is, watch() looks out for one and emits appeared() once.
class TrayHost : public QObject
{
    Q_OBJECT

public:
    explicit TrayHost(QObject *parent = nullptr);

    bool hasStatusNotifierHost() const;
    bool hasXEmbedTray() const;
    // The X11 question first: it costs no D-Bus round trip, and most panels answer both.
    bool isAvailable() const { return hasXEmbedTray() || hasStatusNotifierHost(); }

    void watch();

signals:
    void appeared();

private slots:
    void check();

private:
    QDBusServiceWatcher *m_watcher = nullptr;
    // X11 announces a new tray only to clients listening on the root window; asking once a
    // second while there is none is cheaper than taking part in that.
    QTimer m_poll;
    bool m_watching = false;
};
