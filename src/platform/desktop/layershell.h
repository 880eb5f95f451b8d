#pragma once

#include <QMargins>

#include <functional>

class QWindow;

// Puts a window of ours on the layer above normal windows that KWin, sway, Hyprland and other
// wlroots compositors offer (the wlr layer-shell protocol): not tiled, no frame, not in any
// taskbar or window switcher, placed against the top right corner of the screen's free area
// (below the panels there) rather than where a new window would go, and given the keyboard
// while it is shown. GNOME offers no layer shell.
//
// Qt gives a window's surface no role of its own when the window carries
// Qt::BypassWindowManagerHint and QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT was set before the
// application object (prepareProcess()); attach() then gives it the layer role, right after the
// window is shown and before its first frame.
class LayerShell
{
public:
    enum class Role {
        panel,   // the layer above normal windows; takes the keyboard until a click elsewhere
        popup,   // the layer above that, over its panel; takes the keyboard too
        tooltip, // above as well, never takes the keyboard
        shield,  // under a panel, over the whole free area, never takes the keyboard: takes
                 // the clicks meant for other windows, on compositors that would not tell the
                 // panel that it lost the keyboard to them
    };

    // Call before the application object, in a Wayland session.
    static void prepareProcess();
    // Whether the app runs on Wayland and the compositor offers the layer shell.
    static bool isAvailable();
    // Gives `window`, shown a moment ago with Qt::BypassWindowManagerHint, its place on the
    // layer, `margins` away from the top and right edges of the free area; the place follows
    // the window's size until it is hidden. A shield takes the size of the free area instead. False
    // when the layer shell is not there or the compositor did not take the window.
    static bool attach(QWindow *window, const QMargins &margins, Role role = Role::panel);
    // The same at every show of `window`, which is created but not shown yet (a popup: the
    // compositor cannot place a popup of a window on the layer), at the margins `margins`
    // gives at that moment.
    static void attachAtEveryShow(QWindow *window, std::function<QMargins()> margins, Role role);
};
