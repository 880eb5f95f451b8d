#pragma once

#include <QList>
#include <QRect>

#include <xcb/xcb.h>

// The windows of the test display as the desktop sees them, looked up on a connection of our
// own: what a program has mapped, in the tray or on the screen, and who holds the keyboard.
class X11Windows
{
public:
    struct Window
    {
        xcb_window_t id = XCB_WINDOW_NONE;
        QRect frame; // root coordinates
    };
    // The icon is whatever the program has inside trayer's panel, the popover its utility
    // window, a menu any other override-redirect window but a tooltip.
    enum class Kind { trayIcon, popover, menu };

    X11Windows(); // connects to $DISPLAY
    ~X11Windows();
    X11Windows(const X11Windows &) = delete;
    X11Windows &operator=(const X11Windows &) = delete;

    bool isConnected() const;
    QRect screen() const;
    QList<Window> mapped(qint64 pid, Kind kind) const;
    bool hasFocus(xcb_window_t window) const;
    // Whether some client holds the keyboard: our own attempt to take it fails then.
    bool keyboardGrabbed() const;
    // Whether some client has grabbed the key of `keysym` with `modifiers` (XCB_MOD_MASK_*): our
    // own grab of it fails then. The server waits for us meanwhile, so that another client's
    // grab cannot fall between ours and its end and fail for our sake.
    bool keyGrabbed(xcb_keysym_t keysym, quint16 modifiers) const;
    // Whether the owner of `window` answers a _NET_WM_PING in time: its event loop runs.
    bool answersPing(xcb_window_t window, int timeoutMs);

private:
    xcb_atom_t atom(const char *name) const;
    QByteArray property(xcb_window_t window, xcb_atom_t name) const;
    QList<xcb_atom_t> atoms(xcb_window_t window, xcb_atom_t name) const;
    QRect frameOf(xcb_window_t window) const;
    void collect(xcb_window_t parent, bool inTray, qint64 pid, Kind kind,
                 QList<Window> &found) const;

    xcb_connection_t *m_x;
    xcb_window_t m_root = XCB_WINDOW_NONE;
    xcb_atom_t m_pid = XCB_ATOM_NONE;
    xcb_atom_t m_type = XCB_ATOM_NONE;
    xcb_atom_t m_utility = XCB_ATOM_NONE;
    xcb_atom_t m_tooltip = XCB_ATOM_NONE;
    xcb_atom_t m_protocols = XCB_ATOM_NONE;
    xcb_atom_t m_ping = XCB_ATOM_NONE;
    quint32 m_pings = 0;
};
