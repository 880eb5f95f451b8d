#pragma once

#include <cstdint>

struct xcb_connection_t;

// Qt's own X11 connection and the few questions the adapters ask of it.
class X11Display
{
public:
    // Null unless the program runs on the xcb platform.
    static xcb_connection_t *connection();
    // The atom of `name`; 0 (None) when `onlyIfExists` and nobody has made it yet.
    static std::uint32_t atom(xcb_connection_t *connection, const char *name,
                              bool onlyIfExists = false);
    // Whether some client owns the selection `name` (a compositor, a system tray).
    static bool hasSelectionOwner(const char *name);
};
