#pragma once

#include <QString>

// The command line's side of the remote control: `quenzal --toggle`, `--show` and `--hide`
// reach the copy that is running through its control object on the session bus.
class ControlCommand
{
public:
    enum class Action { none, toggle, show, hide, help };

    struct Parsed
    {
        Action action = Action::none;
        QString error; // not empty for a command line that asks for two things at once
    };

    // Looks for the control options among the arguments; others are left to Qt.
    static Parsed parse(int argc, char *argv[]);
    static QString usage();
    // The control method that carries out the action.
    static QString method(Action action);

    // Calls the running copy, process `runningPid` when known (not 0), which may still be
    // starting: it is given `startupWait` milliseconds to publish its control. Returns the exit
    // status; what went wrong is written to stderr. Needs a QCoreApplication.
    static int send(Action action, const QString &appId, qint64 runningPid,
                    int startupWait = 10000);
};
