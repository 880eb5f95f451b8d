#include "privatekeyring.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QSignalSpy>

#include <sys/prctl.h>

namespace {
const QString secrets = QStringLiteral("org.freedesktop.secrets");
const QString login = QStringLiteral("/org/freedesktop/secrets/collection/login");
constexpr int patienceMs = 30'000;

std::unique_ptr<QProcess> makeChild(const QProcessEnvironment &environment)
{
    auto process = std::make_unique<QProcess>();
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); }); // dies with us
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    return process;
}

void stop(const std::unique_ptr<QProcess> &process)
{
    if (process) {
        process->kill(); // a frozen one too
        process->waitForFinished();
    }
}
} // namespace

PrivateKeyring::~PrivateKeyring()
{
    stop(m_keyring);
    QDBusConnection::disconnectFromBus(m_bus.name());
    stop(m_busDaemon);
}

QString PrivateKeyring::start(Collection, const QStringList &activatable)
{
    const QDir dir(m_dir.path()); // a missing program fails below, with its name
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
    // What the bus starts sees no display until setActivationEnvironment() gives it one: a
    // prompter then fails at once instead of waiting for someone at the screen.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY"}) {
        environment.remove(name);
    }
    for (const auto &[name, sub] :
         {std::pair{"HOME", "home"}, {"XDG_DATA_HOME", "data"}, {"XDG_RUNTIME_DIR", "runtime"}}) {
        environment.insert(name, dir.filePath(sub));
    }
    m_busDaemon = makeChild(environment);
    m_busDaemon->start("dbus-daemon",
                       {"--config-file=" + config.fileName(), "--nofork", "--print-address=1"});
    while (!m_busDaemon->canReadLine()) {
        if (!m_busDaemon->waitForReadyRead(patienceMs)) {
            return "dbus-daemon gave no address";
        }
    }
    const QByteArray address = m_busDaemon->readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    m_bus = QDBusConnection::connectToBus(address, "quenzal-private-keyring");
    if (!m_bus.isConnected()) {
        return "cannot connect to the private bus";
    }
    environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
    QDBusServiceWatcher watcher(secrets, m_bus, QDBusServiceWatcher::WatchForRegistration);
    QSignalSpy registered(&watcher, &QDBusServiceWatcher::serviceRegistered);
    m_keyring = makeChild(environment);
    m_keyring->setStandardOutputFile(QProcess::nullDevice());
    // --unlock reads the password on standard input.
    m_keyring->start("gnome-keyring-daemon", {"--foreground", "--components=secrets", "--unlock"});
    if (!m_keyring->waitForStarted()) {
        return "gnome-keyring-daemon did not start";
    }
    m_keyring->write("quenzal-test");
    m_keyring->closeWriteChannel();
    if (!m_bus.interface()->isServiceRegistered(secrets) && !registered.wait(patienceMs)) {
        return "gnome-keyring-daemon did not appear on the bus";
    }
    return {};
}

bool PrivateKeyring::closePrompt()
{
    const auto pid = m_bus.interface()->servicePid("org.gnome.keyring.SystemPrompter");
    return pid.isValid() && ::kill(pid_t(pid.value()), SIGTERM) == 0;
}

bool PrivateKeyring::lockCollection()
{
    return call(secrets, "/org/freedesktop/secrets", "org.freedesktop.Secret.Service.Lock",
                {QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath(login)})});
}

bool PrivateKeyring::deleteCollection()
{
    return call(secrets, login, "org.freedesktop.Secret.Collection.Delete", {});
}

bool PrivateKeyring::setActivationEnvironment(const QMap<QString, QString> &variables)
{
    qDBusRegisterMetaType<QMap<QString, QString>>();
    return call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                "org.freedesktop.DBus.UpdateActivationEnvironment",
                {QVariant::fromValue(variables)});
}

bool PrivateKeyring::call(const QString &service, const QString &path, const QString &method,
                          const QVariantList &arguments)
{
    const qsizetype dot = method.lastIndexOf(u'.');
    QDBusMessage message =
        QDBusMessage::createMethodCall(service, path, method.left(dot), method.mid(dot + 1));
    message.setArguments(arguments);
    const QDBusMessage reply = m_bus.call(message, QDBus::Block, patienceMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        qWarning("PrivateKeyring: %s: %s", qPrintable(method), qPrintable(reply.errorMessage()));
    }
    return reply.type() != QDBusMessage::ErrorMessage;
}
