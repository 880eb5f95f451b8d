#include "compositor.h"

#include "x11display.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

bool Compositor::blursBehind()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !isActive()) {
        return false;
    }
    xcb_connection_t *connection = X11Display::connection();
    const xcb_atom_t blur =
        connection ? X11Display::atom(connection, "_KDE_NET_WM_BLUR_BEHIND_REGION", true)
                   : xcb_atom_t(XCB_ATOM_NONE);
    if (blur == XCB_ATOM_NONE) {
        return false;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const std::unique_ptr<xcb_list_properties_reply_t, decltype(&std::free)> properties(
        xcb_list_properties_reply(connection, xcb_list_properties(connection, root), nullptr),
        &std::free);
    if (!properties) {
        return false;
    }
    const xcb_atom_t *atoms = xcb_list_properties_atoms(properties.get());
    const int count = xcb_list_properties_atoms_length(properties.get());
    return std::find(atoms, atoms + count, blur) != atoms + count;
}

bool Compositor::isActive()
{
    if (QGuiApplication::platformName() == QLatin1String("wayland")) {
        return true;
    }
    return X11Display::hasSelectionOwner("_NET_WM_CM_S0");
}
