#include "windowhints.h"

#include "x11display.h"

#include <QTransform>
#include <QWindow>

#include <xcb/xcb.h>

#include <vector>

void WindowHints::skipTaskbarAndPager(QWindow *window)
{
    xcb_connection_t *connection = window ? X11Display::connection() : nullptr;
    if (!connection || window->isVisible()) {
        return;
    }
    // Qt merges its own states into what the unmapped window already carries.
    const xcb_atom_t states[] = {X11Display::atom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                                 X11Display::atom(connection, "_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window->winId()),
                        X11Display::atom(connection, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32,
                        uint32_t(std::size(states)), states);
    xcb_flush(connection);
}

void WindowHints::requestBlurBehind(QWindow *window, bool enable, const QRegion &region)
{
    xcb_connection_t *connection = window ? X11Display::connection() : nullptr;
    if (!connection) {
        return;
    }
    const auto target = xcb_window_t(window->winId());
    const xcb_atom_t atom = X11Display::atom(connection, "_KDE_NET_WM_BLUR_BEHIND_REGION");
    if (atom == XCB_ATOM_NONE) {
        return;
    }
    if (!enable) {
        xcb_delete_property(connection, target, atom);
        xcb_flush(connection);
        return;
    }
    // X11 counts device pixels; an empty list stands for the whole window.
    const qreal ratio = window->devicePixelRatio();
    const QRegion scaled =
        qFuzzyCompare(ratio, 1.0) ? region : QTransform::fromScale(ratio, ratio).map(region);
    std::vector<uint32_t> rectangles;
    rectangles.reserve(size_t(scaled.rectCount()) * 4);
    for (const QRect &rect : scaled) {
        rectangles.insert(rectangles.end(), {uint32_t(rect.x()), uint32_t(rect.y()),
                                             uint32_t(rect.width()), uint32_t(rect.height())});
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, target, atom, XCB_ATOM_CARDINAL, 32,
                        uint32_t(rectangles.size()), rectangles.data());
    xcb_flush(connection);
}
