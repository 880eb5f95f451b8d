#include "displayprobe.h"

#include <wayland-client.h>
#include <xcb/xcb.h>

bool DisplayProbe::waylandAnswers()
{
    wl_display *display = wl_display_connect(nullptr);
    if (!display) {
        return false;
    }
    wl_display_disconnect(display);
    return true;
}

bool DisplayProbe::x11Answers()
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
}
