#pragma once

// Whether a compositing manager runs, so that windows can be translucent: always on Wayland;
// on X11 when some client owns the _NET_WM_CM_S<screen> selection.
class Compositor
{
public:
    static bool isActive();
    // Whether the compositor also blurs what lies behind a window that asks for it: KWin's blur
    // effect, which announces _KDE_NET_WM_BLUR_BEHIND_REGION on the X11 root window. Without
    // it a translucent popover lets the windows behind it read through.
    static bool blursBehind();
};
