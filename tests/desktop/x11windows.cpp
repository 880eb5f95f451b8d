#include "x11windows.h"

#include <QByteArray>
#include <QDeadlineTimer>

#include <xcb/xcb_keysyms.h>

#include <poll.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

namespace {

template <typename T> std::unique_ptr<T, decltype(&std::free)> owned(T *reply)
{
    return {reply, &std::free};
}

} // namespace

X11Windows::X11Windows()
    : m_x(xcb_connect(nullptr, nullptr))
{
    if (!isConnected()) {
        return;
    }
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data->root;
    m_pid = atom("_NET_WM_PID");
    m_type = atom("_NET_WM_WINDOW_TYPE");
    m_utility = atom("_NET_WM_WINDOW_TYPE_UTILITY");
    m_tooltip = atom("_NET_WM_WINDOW_TYPE_TOOLTIP");
    m_protocols = atom("WM_PROTOCOLS");
    m_ping = atom("_NET_WM_PING");
}

X11Windows::~X11Windows()
{
    xcb_disconnect(m_x);
}

bool X11Windows::isConnected() const
{
    return !xcb_connection_has_error(m_x);
}

QRect X11Windows::screen() const
{
    return frameOf(m_root);
}

QList<X11Windows::Window> X11Windows::mapped(qint64 pid, Kind kind) const
{
    QList<Window> found;
    collect(m_root, false, pid, kind, found);
    return found;
}

bool X11Windows::hasFocus(xcb_window_t window) const
{
    const auto focus = owned(xcb_get_input_focus_reply(m_x, xcb_get_input_focus(m_x), nullptr));
    return focus && focus->focus == window;
}

bool X11Windows::keyboardGrabbed() const
{
    const xcb_grab_keyboard_cookie_t cookie = xcb_grab_keyboard(
        m_x, 0, m_root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    const auto reply = owned(xcb_grab_keyboard_reply(m_x, cookie, nullptr));
    if (reply && reply->status == XCB_GRAB_STATUS_SUCCESS) {
        xcb_ungrab_keyboard(m_x, XCB_CURRENT_TIME);
        xcb_flush(m_x);
    }
    return reply && reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
}

bool X11Windows::keyGrabbed(xcb_keysym_t keysym, quint16 modifiers) const
{
    xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(m_x);
    const auto keycodes = owned(xcb_key_symbols_get_keycode(symbols, keysym));
    xcb_key_symbols_free(symbols);
    if (!keycodes || keycodes.get()[0] == XCB_NO_SYMBOL) {
        return false;
    }
    const xcb_keycode_t keycode = keycodes.get()[0];
    xcb_grab_server(m_x);
    const auto error = owned(
        xcb_request_check(m_x, xcb_grab_key_checked(m_x, 0, m_root, modifiers, keycode,
                                                    XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
    if (!error) {
        xcb_ungrab_key(m_x, keycode, m_root, modifiers);
    }
    xcb_ungrab_server(m_x);
    xcb_flush(m_x);
    return error && error->error_code == XCB_ACCESS;
}

bool X11Windows::answersPing(xcb_window_t window, int timeoutMs)
{
    // Qt sends the answer to those listening for the root window's own changes.
    const quint32 listen = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_x, m_root, XCB_CW_EVENT_MASK, &listen);
    xcb_client_message_event_t ping{};
    ping.response_type = XCB_CLIENT_MESSAGE;
    ping.format = 32;
    ping.window = window;
    ping.type = m_protocols;
    ping.data.data32[0] = m_ping;
    ping.data.data32[1] = ++m_pings; // stands for the timestamp, which comes back unchanged
    ping.data.data32[2] = window;
    xcb_send_event(m_x, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&ping));
    xcb_flush(m_x);

    bool answered = false;
    QDeadlineTimer deadline(timeoutMs);
    while (!answered && !deadline.hasExpired() && isConnected()) {
        pollfd descriptor{xcb_get_file_descriptor(m_x), POLLIN, 0};
        poll(&descriptor, 1, int(std::min<qint64>(deadline.remainingTime(), 50)));
        while (const auto event = owned(xcb_poll_for_event(m_x))) {
            const auto *message = reinterpret_cast<xcb_client_message_event_t *>(event.get());
            answered = answered ||
                       ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE &&
                        message->data.data32[0] == m_ping && message->data.data32[1] == m_pings);
        }
    }
    const quint32 none = XCB_EVENT_MASK_NO_EVENT;
    xcb_change_window_attributes(m_x, m_root, XCB_CW_EVENT_MASK, &none);
    xcb_flush(m_x);
    return answered;
}

xcb_atom_t X11Windows::atom(const char *name) const
{
    const auto reply = owned(xcb_intern_atom_reply(
        m_x, xcb_intern_atom(m_x, 0, uint16_t(qstrlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QByteArray X11Windows::property(xcb_window_t window, xcb_atom_t name) const
{
    const auto reply = owned(xcb_get_property_reply(
        m_x, xcb_get_property(m_x, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr));
    return reply ? QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                              xcb_get_property_value_length(reply.get()))
                 : QByteArray();
}

QList<xcb_atom_t> X11Windows::atoms(xcb_window_t window, xcb_atom_t name) const
{
    const QByteArray value = property(window, name);
    const auto *begin = reinterpret_cast<const xcb_atom_t *>(value.constData());
    return QList<xcb_atom_t>(begin, begin + value.size() / sizeof(xcb_atom_t));
}

QRect X11Windows::frameOf(xcb_window_t window) const
{
    const auto geometry =
        owned(xcb_get_geometry_reply(m_x, xcb_get_geometry(m_x, window), nullptr));
    const auto origin = owned(xcb_translate_coordinates_reply(
        m_x, xcb_translate_coordinates(m_x, window, m_root, 0, 0), nullptr));
    return geometry && origin
               ? QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height)
               : QRect();
}

void X11Windows::collect(xcb_window_t parent, bool inTray, qint64 pid, Kind kind,
                         QList<Window> &found) const
{
    const auto tree = owned(xcb_query_tree_reply(m_x, xcb_query_tree(m_x, parent), nullptr));
    const int count = tree ? xcb_query_tree_children_length(tree.get()) : 0; // 0: gone meanwhile
    for (int i = 0; i < count; ++i) {
        const xcb_window_t child = xcb_query_tree_children(tree.get())[i];
        const bool childInTray =
            inTray || property(child, XCB_ATOM_WM_CLASS).split('\0').contains("trayer");
        const auto attributes = owned(
            xcb_get_window_attributes_reply(m_x, xcb_get_window_attributes(m_x, child), nullptr));
        // _NET_WM_PID is a CARDINAL, as long as an atom.
        if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
            atoms(child, m_pid) == QList<xcb_atom_t>{xcb_atom_t(pid)}) {
            const QList<xcb_atom_t> types = atoms(child, m_type);
            std::optional<Kind> is;
            if (childInTray) {
                is = Kind::trayIcon;
            } else if (types.contains(m_utility)) {
                is = Kind::popover;
            } else if (attributes->override_redirect && !types.contains(m_tooltip)) {
                is = Kind::menu;
            }
            if (is == kind) {
                found.append({child, frameOf(child)});
            }
        }
        collect(child, childInTray, pid, kind, found);
    }
}
