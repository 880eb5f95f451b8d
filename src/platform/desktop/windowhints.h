#pragma once

#include <QRegion>

class QWindow;

// Desktop hints Qt has no API for.
class WindowHints
{
public:
    // Keeps `window` out of the taskbar and the pager (EWMH skip-taskbar and skip-pager). Call
    // it before every show: window managers drop these states when a window is hidden.
    static void skipTaskbarAndPager(QWindow *window);

    // Asks KWin to blur what lies behind `window` (_KDE_NET_WM_BLUR_BEHIND_REGION), within
    // `region` in the window's own coordinates, or behind all of it when `region` is empty;
    // `enable` false takes the request back. Only X11 has a place for it; elsewhere, and where
    // nothing blurs, it changes nothing.
    static void requestBlurBehind(QWindow *window, bool enable, const QRegion &region = {});
};
