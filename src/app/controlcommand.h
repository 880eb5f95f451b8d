#pragma once

#include <QString>

// The command line's side of the remote control: `quenzal --toggle`, `--show`, `--hide`,
// `--translate-clipboard` and `--translate TEXT` reach the copy that is running through its
// control object on the session bus.
class ControlCommand
{
public:
    enum class Action { none, toggle, show, hide, translateClipboard, translate, help };

    struct Parsed
    {
        Action action = Action::none;
        QString text{};  // what --translate gives
        QString error{}; // for two things at once, or --translate without a text
    };

    // Looks for the control options among the arguments; others are left to Qt.
    static Parsed parse(int argc, char *argv[]);
    static QString usage();
    // The control method that carries out the action.
    static QString method(Action action);

    // Calls the running copy, process `runningPid` when known (not 0), which may still be
    // starting: it is given `startupWait` milliseconds to publish its control. Returns the exit
    // status; what went wrong is written to stderr. Needs a QCoreApplication.
    static int send(const Parsed &command, const QString &appId, qint64 runningPid,
                    int startupWait = 10000);
};
