#pragma once

// Whether a compositing manager runs, so that windows can be translucent: always on Wayland;
// on X11 when some client owns the _NET_WM_CM_S<screen> selection.
class Compositor
{
public:
    static bool isActive();
};
