#include "windowhints.h"

#include <QGuiApplication>
#include <QTransform>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, uint16_t(qstrlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_connection_t *x11Connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

} // namespace

void WindowHints::skipTaskbarAndPager(QWindow *window)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !window) {
        return;
    }
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection || window->isVisible()) {
        return;
    }
    // Qt merges its own states into what the unmapped window already carries.
    const xcb_atom_t states[] = {internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                                 internAtom(connection, "_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window->winId()),
                        internAtom(connection, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32,
                        uint32_t(std::size(states)), states);
    xcb_flush(connection);
}

void WindowHints::requestBlurBehind(QWindow *window, bool enable, const QRegion &region)
{
    xcb_connection_t *connection = window ? x11Connection() : nullptr;
    if (!connection) {
        return;
    }
    const auto target = xcb_window_t(window->winId());
    const xcb_atom_t atom = internAtom(connection, "_KDE_NET_WM_BLUR_BEHIND_REGION");
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
