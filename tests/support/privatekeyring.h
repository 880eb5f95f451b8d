#pragma once

#include <QDBusConnection>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <memory>

// A session bus of its own with a real gnome-keyring-daemon on it, for tests that freeze, lock
// or empty a keyring. Only the services named at start can be activated on that bus, whatever
// the machine has installed. start() makes it the process's session bus, so it must come before
// anything in the process connects to one.
class PrivateKeyring
{
public:
    enum class Collection {
        unlocked, // a "login" collection, unlocked, as after a desktop login
        none,     // no collection yet: the first write asks the user to create one
    };

    PrivateKeyring() = default;
    ~PrivateKeyring();
    PrivateKeyring(const PrivateKeyring &) = delete;
    PrivateKeyring &operator=(const PrivateKeyring &) = delete;

    // Empty when the keyring is up, else why not. `activatable`: names of services whose
    // files in /usr/share/dbus-1/services the bus may start (a prompter, say).
    QString start(Collection collection, const QStringList &activatable = {});
    static bool isInstalled();

    QDBusConnection bus() const { return m_bus; }
    // SIGSTOP and SIGCONT: a keyring that does not answer, then does.
    bool freeze() { return signalKeyring(SIGSTOP); }
    bool thaw() { return signalKeyring(SIGCONT); }
    // Ends the keyring's dialog as if its window had been closed.
    bool closePrompt();
    bool lockCollection();
    bool deleteCollection();
    // Variables the bus passes to what it activates from now on (DISPLAY for a prompter).
    bool setActivationEnvironment(const QMap<QString, QString> &variables);

private:
    bool signalKeyring(int signal);
    bool call(const QString &service, const QString &path, const QString &interface,
              const QString &method, const QVariantList &arguments);

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_busDaemon;
    std::unique_ptr<QProcess> m_keyring;
    QDBusConnection m_bus{QString()};
};
