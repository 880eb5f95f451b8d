#include "controlcommand.h"

#include "appcontrol.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QTimer>

#include <array>
#include <cstdio>
#include <cstring>

namespace {

struct Option
{
    const char *name;
    ControlCommand::Action action;
};

constexpr std::array options{
    Option{"--toggle", ControlCommand::Action::toggle},
    Option{"--show", ControlCommand::Action::show},
    Option{"--hide", ControlCommand::Action::hide},
    Option{"--translate-clipboard", ControlCommand::Action::translateClipboard},
    Option{"--translate", ControlCommand::Action::translate},
    Option{"--help", ControlCommand::Action::help},
    Option{"-h", ControlCommand::Action::help},
};

void complain(const QString &text)
{
    std::fprintf(stderr, "Parlora - Quenzal: %s\n", qPrintable(text));
}

// True once `appId` has an owner on `bus`, waiting up to `wait` milliseconds for one.
bool waitForOwner(QDBusConnection &bus, const QString &appId, int wait)
{
    if (bus.interface()->isServiceRegistered(appId)) {
        return true;
    }
    QEventLoop loop;
    QDBusServiceWatcher watcher(appId, bus, QDBusServiceWatcher::WatchForRegistration);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop, &QEventLoop::quit);
    QTimer::singleShot(wait, &loop, &QEventLoop::quit);
    // Registered between the first question and the watcher's start: asked once more.
    if (bus.interface()->isServiceRegistered(appId)) {
        return true;
    }
    loop.exec();
    return bus.interface()->isServiceRegistered(appId);
}

} // namespace

ControlCommand::Parsed ControlCommand::parse(int argc, char *argv[])
{
    Parsed parsed;
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        // --translate=TEXT, like --translate TEXT
        const char *equals = std::strchr(argument, '=');
        const std::size_t nameLength =
            equals ? std::size_t(equals - argument) : std::strlen(argument);
        for (const Option &option : options) {
            if (std::strlen(option.name) != nameLength ||
                std::strncmp(argument, option.name, nameLength) != 0 ||
                (equals && option.action != Action::translate)) {
                continue;
            }
            if (parsed.action != Action::none && parsed.action != option.action) {
                parsed.error = QStringLiteral("give one of --toggle, --show, --hide, "
                                              "--translate-clipboard and --translate, not two");
                return parsed;
            }
            parsed.action = option.action;
            if (option.action != Action::translate) {
                continue;
            }
            if (!equals && i + 1 >= argc) {
                parsed.error = QStringLiteral("--translate needs the text to translate");
                return parsed;
            }
            // The text is taken as it is, even when it starts with a dash.
            parsed.text = QString::fromLocal8Bit(equals ? equals + 1 : argv[++i]);
        }
    }
    return parsed;
}

QString ControlCommand::usage()
{
    return QStringLiteral(
        "Usage: quenzal [--toggle | --show | --hide | --translate-clipboard | --translate TEXT]\n"
        "\n"
        "Without an option, starts Parlora - Quenzal in the system tray (once per user).\n"
        "  --toggle               open the translator, or close it when it is open\n"
        "  --show                 open the translator\n"
        "  --hide                 close the translator\n"
        "  --translate-clipboard  open the translator with the selected text, or else the\n"
        "                         text on the clipboard, and translate it\n"
        "  --translate TEXT       open the translator with TEXT and translate it\n"
        "All but --hide start Parlora - Quenzal when it is not running. Bind\n"
        "`quenzal --toggle` and `quenzal --translate-clipboard` to keys in the desktop's\n"
        "keyboard settings where the global shortcuts cannot be registered.\n");
}

QString ControlCommand::method(Action action)
{
    switch (action) {
    case Action::toggle:
        return QStringLiteral("Toggle");
    case Action::show:
        return QStringLiteral("Show");
    case Action::hide:
        return QStringLiteral("Hide");
    case Action::translateClipboard:
        return QStringLiteral("TranslateClipboard");
    case Action::translate:
        return QStringLiteral("Translate");
    case Action::none:
    case Action::help:
        break;
    }
    return {};
}

int ControlCommand::send(const Parsed &command, const QString &appId, qint64 runningPid,
                         int startupWait)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        complain(QStringLiteral("cannot reach the running copy: there is no D-Bus session bus "
                                "(%1).")
                     .arg(bus.lastError().message()));
        return 1;
    }
    if (!waitForOwner(bus, appId, startupWait)) {
        complain(QStringLiteral("a copy is running but does not answer on the session bus as "
                                "%1; it may have been started on another bus.")
                     .arg(appId));
        return 1;
    }
    // A program that took the name (by mistake or on purpose) must not get the user's commands.
    const QDBusReply<uint> owner = bus.interface()->servicePid(appId);
    if (runningPid != 0 && owner.isValid() && owner.value() != runningPid) {
        complain(QStringLiteral("the session bus name %1 belongs to another program (process "
                                "%2), not to the running copy (process %3).")
                     .arg(appId)
                     .arg(owner.value())
                     .arg(runningPid));
        return 1;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(appId, AppControl::objectPath(appId), appId,
                                                       method(command.action));
    if (command.action == Action::translate) {
        call << command.text;
    }
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        complain(QStringLiteral("the running copy did not take the command: %1")
                     .arg(reply.errorMessage()));
        return 1;
    }
    return 0;
}
