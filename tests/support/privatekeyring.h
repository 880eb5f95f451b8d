#pragma once

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <csignal>

#include <sys/prctl.h>

// A real gnome-keyring-daemon on a session bus of its own, which start() makes the process's
// before anything connects to one. Only the services named in start() can be activated.
class PrivateKeyring
{
public:
    enum class Collection { unlocked }; // a "login" collection, as after a desktop login
    ~PrivateKeyring()
    {
        m_keyring.kill(); // a frozen one too
        m_keyring.waitForFinished();
        QDBusConnection::disconnectFromBus(m_bus.name());
        m_busDaemon.kill();
        m_busDaemon.waitForFinished();
    }
    // Empty when the keyring is up, else why not. `activatable`: a prompter, say.
    QString start(Collection, const QStringList &activatable = {})
    {
        const QDir dir(m_dir.path());
        for (const char *sub : {"services", "runtime", "data", "home"}) {
            dir.mkdir(sub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        for (const QString &name : activatable) {
            if (!QFile::copy("/usr/share/dbus-1/services/" + name + ".service",
                             dir.filePath("services/" + name + ".service"))) {
                return "the machine has no D-Bus service " + name;
            }
        }
        QFile config(dir.filePath("session.conf"));
        const QByteArray configText = QStringLiteral(R"(<busconfig><type>session</type>
<listen>unix:dir=%1</listen><auth>EXTERNAL</auth><servicedir>%1/services</servicedir>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>)")
                                          .arg(m_dir.path())
                                          .toUtf8();
        if (!config.open(QIODevice::WriteOnly) || config.write(configText) != configText.size()) {
            return "cannot write the bus configuration";
        }
        config.close();
        // No display until setActivationEnvironment(): a prompter fails at once, waits for no one.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY"}) {
            environment.remove(name);
        }
        for (const auto &[name, sub] : {std::pair{"HOME", "home"},
                                        {"XDG_DATA_HOME", "data"},
                                        {"XDG_RUNTIME_DIR", "runtime"}}) {
            environment.insert(name, dir.filePath(sub));
        }
        setUp(m_busDaemon, environment);
        m_busDaemon.start("dbus-daemon",
                          {"--config-file=" + config.fileName(), "--nofork", "--print-address=1"});
        while (!m_busDaemon.canReadLine()) {
            if (!m_busDaemon.waitForReadyRead(patienceMs)) {
                return "dbus-daemon gave no address";
            }
        }
        const QByteArray address = m_busDaemon.readLine().trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        m_bus = QDBusConnection::connectToBus(address, "quenzal-private-keyring");
        if (!m_bus.isConnected()) {
            return "cannot connect to the private bus";
        }
        environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
        QDBusServiceWatcher watcher(secrets(), m_bus, QDBusServiceWatcher::WatchForRegistration);
        QSignalSpy registered(&watcher, &QDBusServiceWatcher::serviceRegistered);
        setUp(m_keyring, environment);
        m_keyring.setStandardOutputFile(QProcess::nullDevice());
        m_keyring.start("gnome-keyring-daemon",
                        {"--foreground", "--components=secrets", "--unlock"});
        if (!m_keyring.waitForStarted()) {
            return "gnome-keyring-daemon did not start";
        }
        m_keyring.write("quenzal-test"); // the password --unlock reads
        m_keyring.closeWriteChannel();
        if (!m_bus.interface()->isServiceRegistered(secrets()) && !registered.wait(patienceMs)) {
            return "gnome-keyring-daemon did not appear on the bus";
        }
        return {};
    }

    bool freeze() { return signalKeyring(SIGSTOP); }
    bool thaw() { return signalKeyring(SIGCONT); }
    bool closePrompt() // as if the keyring's dialog had been closed
    {
        const auto pid = m_bus.interface()->servicePid("org.gnome.keyring.SystemPrompter");
        return pid.isValid() && ::kill(pid_t(pid.value()), SIGTERM) == 0;
    }
    // These give the D-Bus error, if any.
    QString lockCollection()
    {
        return call(secrets(), "/org/freedesktop/secrets", "org.freedesktop.Secret.Service.Lock",
                    {QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath(login)})});
    }
    QString deleteCollection()
    {
        return call(secrets(), login, "org.freedesktop.Secret.Collection.Delete", {});
    }
    // Variables the bus passes to what it activates from now on (DISPLAY for a prompter).
    QString setActivationEnvironment(const QMap<QString, QString> &variables)
    {
        qDBusRegisterMetaType<QMap<QString, QString>>();
        return call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                    "org.freedesktop.DBus.UpdateActivationEnvironment",
                    {QVariant::fromValue(variables)});
    }

private:
    static constexpr int patienceMs = 30'000;
    static constexpr const char *login = "/org/freedesktop/secrets/collection/login";
    static QString secrets() { return QStringLiteral("org.freedesktop.secrets"); }
    static void setUp(QProcess &process, const QProcessEnvironment &environment)
    {
        process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); }); // dies with us
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    bool signalKeyring(int signal) const
    {
        return m_keyring.processId() > 0 && ::kill(pid_t(m_keyring.processId()), signal) == 0;
    }
    QString call(const QString &service, const QString &path, const QString &method,
                 const QVariantList &arguments)
    {
        const qsizetype dot = method.lastIndexOf(u'.');
        QDBusMessage message =
            QDBusMessage::createMethodCall(service, path, method.left(dot), method.mid(dot + 1));
        message.setArguments(arguments);
        return m_bus.call(message, QDBus::Block, patienceMs).errorMessage();
    }

    QTemporaryDir m_dir;
    QProcess m_busDaemon;
    QProcess m_keyring;
    QDBusConnection m_bus{QString()};
};
