#pragma once

// Whether the display servers the environment names answer, asked before the application
// object exists: Qt ends the program when the display it picks does not.
class DisplayProbe
{
public:
    // $WAYLAND_DISPLAY (a socket name in $XDG_RUNTIME_DIR, or a path) takes a connection.
    static bool waylandAnswers();
    // $DISPLAY takes a connection.
    static bool x11Answers();
};
