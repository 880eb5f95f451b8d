#pragma once

// The program: one copy per user, a tray icon and its popover, no main window.
class QuenzalApp
{
public:
    // Exit status: 0 after Quit, and for a second copy that found the first one running (and
    // passed it a command: --toggle, --show, --hide); 1 when there is no desktop to run on or a
    // command could not be passed on; 2 for a command line that makes no sense.
    static int run(int argc, char *argv[]);
};
