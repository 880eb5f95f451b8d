// The throwaway X desktop of scripts/with-desktop: typed and clicked on with xdotool (XTEST), its
// windows and grabs looked up on a connection of our own.
#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <memory>

#define QUENZAL_REQUIRE_DESKTOP()                                                                  \
    if (!qEnvironmentVariableIsSet("QUENZAL_TEST_DESKTOP"))                                        \
    QSKIP("needs an X desktop of its own: run under scripts/with-desktop")

namespace X11Desktop {

inline bool xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished() && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// A line edit of ours in a window of its own.
struct TypingWindow : QLineEdit
{
    explicit TypingWindow(const QRect &geometry)
    {
        setGeometry(geometry);
        show();
    }
    void focus()
    {
        activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(this));
        setFocus();
        clear();
    }
    // X delivers in order: once this key is in, the input before has been handled.
    void typeMarker(const QString &key)
    {
        QVERIFY(xdotool({"key", key}));
        QVERIFY(QTest::qWaitFor([&] { return text().endsWith(key); }, 10'000));
    }
};

class Display
{
public:
    struct Window
    {
        xcb_window_t id = XCB_WINDOW_NONE;
        QRect frame; // root coordinates
    };
    // The icon is what a program has inside trayer's panel, the popover its utility window, a
    // menu any other override-redirect window but a tooltip.
    enum class Kind { trayIcon, popover, menu, other };

    ~Display() { xcb_disconnect(m_x); }

    bool isConnected() const { return !xcb_connection_has_error(m_x); }
    QRect screen() const { return frameOf(m_root); }

    QList<Window> mapped(qint64 pid, Kind kind, xcb_window_t parent = 0, bool inTray = false) const
    {
        QList<Window> found;
        const auto tree = owned(
            xcb_query_tree_reply(m_x, xcb_query_tree(m_x, parent ? parent : m_root), nullptr));
        const int count = tree ? xcb_query_tree_children_length(tree.get()) : 0; // 0: gone
        for (int i = 0; i < count; ++i) {
            const xcb_window_t child = xcb_query_tree_children(tree.get())[i];
            const bool childInTray =
                inTray || property(child, XCB_ATOM_WM_CLASS).split('\0').contains("trayer");
            const auto attributes = owned(xcb_get_window_attributes_reply(
                m_x, xcb_get_window_attributes(m_x, child), nullptr));
            if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
                atoms(child, m_pid) == QList<xcb_atom_t>{xcb_atom_t(pid)}) {
                const QList<xcb_atom_t> types = atoms(child, m_type);
                const bool menu = attributes->override_redirect && !types.contains(m_tooltip);
                if (kind == (childInTray                 ? Kind::trayIcon
                             : types.contains(m_utility) ? Kind::popover
                             : menu                      ? Kind::menu
                                                         : Kind::other)) {
                    found.append({child, frameOf(child)});
                }
            }
            found += mapped(pid, kind, child, childInTray);
        }
        return found;
    }

    bool hasFocus(xcb_window_t window) const
    {
        const auto focus = owned(xcb_get_input_focus_reply(m_x, xcb_get_input_focus(m_x), nullptr));
        return focus && focus->focus == window;
    }

    // Grabs `keysym` with `modifiers` for as long as this connection lasts; false if taken.
    bool grabKey(xcb_keysym_t keysym, quint16 modifiers) const
    {
        return !owned(
            xcb_request_check(m_x, xcb_grab_key_checked(m_x, 0, m_root, modifiers, keycode(keysym),
                                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
    }

    // Whether another client holds `keysym` with `modifiers`, or with none given the keyboard.
    // Ours is taken and let go with the server held, so that no other client's grab fails.
    bool grabbed(xcb_keysym_t keysym = 0, quint16 modifiers = 0) const
    {
        bool taken = false;
        xcb_grab_server(m_x);
        if (keysym) {
            taken = !grabKey(keysym, modifiers);
            xcb_ungrab_key(m_x, keycode(keysym), m_root, modifiers); // only a grab of ours
        } else {
            const auto reply = owned(
                xcb_grab_keyboard_reply(m_x,
                                        xcb_grab_keyboard(m_x, 0, m_root, XCB_CURRENT_TIME,
                                                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                        nullptr));
            taken = reply && reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
            xcb_ungrab_keyboard(m_x, XCB_CURRENT_TIME);
        }
        xcb_ungrab_server(m_x);
        xcb_flush(m_x);
        return taken;
    }

    // Takes the selection `name` (or with `hold` false leaves it to nobody) for a window of this
    // connection, which reads no events: an owner that never answers, like a frozen program.
    bool holdSelection(const char *name, bool hold = true)
    {
        if (hold && m_holder == XCB_WINDOW_NONE) {
            m_holder = xcb_generate_id(m_x);
            xcb_create_window(m_x, XCB_COPY_FROM_PARENT, m_holder, m_root, 0, 0, 1, 1, 0,
                              XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        }
        const xcb_atom_t selection = atom(name);
        const xcb_window_t owner = hold ? m_holder : xcb_window_t(XCB_WINDOW_NONE);
        xcb_set_selection_owner(m_x, owner, selection, XCB_CURRENT_TIME);
        const auto reply = owned(
            xcb_get_selection_owner_reply(m_x, xcb_get_selection_owner(m_x, selection), nullptr));
        return reply && reply->owner == owner;
    }

private:
    template <typename T> static std::unique_ptr<T, decltype(&std::free)> owned(T *reply)
    {
        return {reply, &std::free};
    }

    xcb_keycode_t keycode(xcb_keysym_t keysym) const
    {
        xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(m_x);
        const auto keycodes = owned(xcb_key_symbols_get_keycode(symbols, keysym));
        xcb_key_symbols_free(symbols);
        return keycodes ? keycodes.get()[0] : 0;
    }

    xcb_atom_t atom(const char *name) const
    {
        const auto reply = owned(xcb_intern_atom_reply(
            m_x, xcb_intern_atom(m_x, 0, uint16_t(qstrlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    QByteArray property(xcb_window_t window, xcb_atom_t name) const
    {
        const auto reply = owned(xcb_get_property_reply(
            m_x, xcb_get_property(m_x, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
            nullptr));
        return reply ? QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                                  xcb_get_property_value_length(reply.get()))
                     : QByteArray();
    }

    QList<xcb_atom_t> atoms(xcb_window_t window, xcb_atom_t name) const // or CARDINALs
    {
        const QByteArray value = property(window, name);
        const auto *begin = reinterpret_cast<const xcb_atom_t *>(value.constData());
        return QList<xcb_atom_t>(begin, begin + value.size() / sizeof(xcb_atom_t));
    }

    QRect frameOf(xcb_window_t window) const
    {
        const auto geometry =
            owned(xcb_get_geometry_reply(m_x, xcb_get_geometry(m_x, window), nullptr));
        const auto origin = owned(xcb_translate_coordinates_reply(
            m_x, xcb_translate_coordinates(m_x, window, m_root, 0, 0), nullptr));
        return geometry && origin
                   ? QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height)
                   : QRect();
    }

    xcb_connection_t *m_x = xcb_connect(nullptr, nullptr);
    xcb_window_t m_holder = XCB_WINDOW_NONE;
    xcb_window_t m_root =
        isConnected() ? xcb_setup_roots_iterator(xcb_get_setup(m_x)).data->root : xcb_window_t();
    xcb_atom_t m_pid = atom("_NET_WM_PID");
    xcb_atom_t m_type = atom("_NET_WM_WINDOW_TYPE");
    xcb_atom_t m_utility = atom("_NET_WM_WINDOW_TYPE_UTILITY");
    xcb_atom_t m_tooltip = atom("_NET_WM_WINDOW_TYPE_TOOLTIP");
};

// Off the desktop of QUENZAL_TEST_DESKTOP no display is touched: the tests needing none still run.
template <typename Test> int run(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QUENZAL_TEST_DESKTOP")) {
        qunsetenv("DISPLAY");
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qputenv("QT_FORCE_STDERR_LOGGING", "1"); // for a program started from the test too
    QApplication app(argc, argv);
    Test test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace X11Desktop
