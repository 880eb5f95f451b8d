#pragma once

#include <QDBusConnection>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <memory>

// A session bus of its own, on which only the services named at start can be activated, with a
// real gnome-keyring-daemon on it. start() makes it the process's session bus, so it must come
// before anything connects to one.
class PrivateKeyring
{
public:
    enum class Collection { unlocked }; // a "login" collection, as after a desktop login

    ~PrivateKeyring();

    // Empty when the keyring is up, else why not. `activatable`: services whose files in
    // /usr/share/dbus-1/services the bus may start (a prompter, say).
    QString start(Collection collection, const QStringList &activatable = {});
    static bool isInstalled();

    QDBusConnection bus() const { return m_bus; }
    bool freeze() { return signalKeyring(SIGSTOP); }
    bool thaw() { return signalKeyring(SIGCONT); }
    bool closePrompt(); // as if the keyring's dialog had been closed
    bool lockCollection();
    bool deleteCollection();
    // Variables the bus passes to what it activates from now on (DISPLAY for a prompter).
    bool setActivationEnvironment(const QMap<QString, QString> &variables);

private:
    bool signalKeyring(int signal);
    // `method` with its interface: "org.freedesktop.Secret.Service.Lock".
    bool call(const QString &service, const QString &path, const QString &method,
              const QVariantList &arguments);

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_busDaemon;
    std::unique_ptr<QProcess> m_keyring;
    QDBusConnection m_bus{QString()};
};
