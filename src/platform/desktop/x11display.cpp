#include "x11display.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

} // namespace

xcb_connection_t *X11Display::connection()
{
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

std::uint32_t X11Display::atom(xcb_connection_t *connection, const char *name, bool onlyIfExists)
{
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, onlyIfExists, uint16_t(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

bool X11Display::hasSelectionOwner(const char *name)
{
    xcb_connection_t *x11 = connection();
    const xcb_atom_t selection = x11 ? atom(x11, name) : xcb_atom_t(XCB_ATOM_NONE);
    if (selection == XCB_ATOM_NONE) {
        return false;
    }
    const Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(x11, xcb_get_selection_owner(x11, selection), nullptr),
        &std::free);
    return owner && owner->owner != XCB_NONE;
}
