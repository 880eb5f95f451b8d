#pragma once

#include <QDBusConnection>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <memory>

// A real gnome-keyring-daemon on a session bus of its own, which start() makes the process's:
// it must come before anything connects to one. Only the services named can be activated.
class PrivateKeyring
{
public:
    enum class Collection { unlocked }; // a "login" collection, as after a desktop login
    ~PrivateKeyring();
    // Empty when the keyring is up, else why not. `activatable`: a prompter, say.
    QString start(Collection collection, const QStringList &activatable = {});
    static bool isInstalled()
    {
        return !QStandardPaths::findExecutable("dbus-daemon").isEmpty() &&
               !QStandardPaths::findExecutable("gnome-keyring-daemon").isEmpty();
    }

    QDBusConnection bus() const { return m_bus; }
    bool freeze() { return signalKeyring(SIGSTOP); }
    bool thaw() { return signalKeyring(SIGCONT); }
    bool closePrompt(); // as if the keyring's dialog had been closed
    bool lockCollection();
    bool deleteCollection();
    // Variables the bus passes to what it activates from now on (DISPLAY for a prompter).
    bool setActivationEnvironment(const QMap<QString, QString> &variables);

private:
    bool signalKeyring(int signal) const
    {
        const pid_t pid = m_keyring ? pid_t(m_keyring->processId()) : 0;
        return pid > 0 && ::kill(pid, signal) == 0;
    }
    bool call(const QString &service, const QString &path, const QString &method,
              const QVariantList &arguments);

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_busDaemon;
    std::unique_ptr<QProcess> m_keyring;
    QDBusConnection m_bus{QString()};
};
