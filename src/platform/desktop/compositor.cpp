#include "compositor.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

xcb_connection_t *x11Connection()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t existingAtom(xcb_connection_t *connection, const QByteArray &name)
{
    const Reply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 1, name.size(), name.constData()), nullptr),
        &std::free);
    return atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

bool Compositor::blursBehind()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !isActive()) {
        return false;
    }
    xcb_connection_t *connection = x11Connection();
    const xcb_atom_t blur = connection ? existingAtom(connection, "_KDE_NET_WM_BLUR_BEHIND_REGION")
                                       : xcb_atom_t(XCB_ATOM_NONE);
    if (blur == XCB_ATOM_NONE) {
        return false;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const Reply<xcb_list_properties_reply_t> properties(
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
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("wayland")) {
        return true;
    }
    if (platform != QLatin1String("xcb")) {
        return false;
    }
    xcb_connection_t *connection = x11Connection();
    if (!connection) {
        return false;
    }
    const QByteArray name = "_NET_WM_CM_S0";
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, name.size(), name.constData()), nullptr),
        &std::free);
    if (!atom) {
        return false;
    }
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom),
                                      nullptr),
        &std::free);
    return owner && owner->owner != XCB_NONE;
}
