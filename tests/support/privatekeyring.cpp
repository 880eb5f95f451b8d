#include "privatekeyring.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>

#include <csignal>

#include <sys/prctl.h>

namespace {

const QString secrets = QStringLiteral("org.freedesktop.secrets");
const QString loginCollection = QStringLiteral("/org/freedesktop/secrets/collection/login");
constexpr int patienceMs = 30'000;

// A daemon that goes with the test, however it ends.
std::unique_ptr<QProcess> makeChild(const QProcessEnvironment &environment)
{
    auto process = std::make_unique<QProcess>();
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    return process;
}

void stop(std::unique_ptr<QProcess> &process)
{
    if (process) {
        ::kill(pid_t(process->processId()), SIGCONT);
        process->terminate();
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished();
        }
        process.reset();
    }
}

} // namespace

PrivateKeyring::~PrivateKeyring()
{
    stop(m_keyring);
    if (m_bus.isConnected()) {
        QDBusConnection::disconnectFromBus(m_bus.name());
    }
    stop(m_busDaemon);
}

bool PrivateKeyring::isInstalled()
{
    return !QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon")).isEmpty();
}

QString PrivateKeyring::start(Collection collection, const QStringList &activatable)
{
    if (!isInstalled() || !m_dir.isValid()) {
        return QStringLiteral("dbus-daemon or gnome-keyring-daemon is missing, or no temporary "
                              "folder");
    }
    const QDir dir(m_dir.path());
    for (const char *sub : {"services", "runtime", "data", "home"}) {
        dir.mkdir(QString::fromLatin1(sub), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    for (const QString &name : activatable) {
        const QString file = name + QStringLiteral(".service");
        if (!QFile::copy(QStringLiteral("/usr/share/dbus-1/services/") + file,
                         dir.filePath(QStringLiteral("services/") + file))) {
            return QStringLiteral("the machine has no D-Bus service %1").arg(name);
        }
    }
    QFile config(dir.filePath(QStringLiteral("session.conf")));
    const QByteArray configText = QStringLiteral(R"(<busconfig><type>session</type>
<listen>unix:dir=%1</listen><auth>EXTERNAL</auth><servicedir>%1/services</servicedir>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>)")
                                      .arg(m_dir.path())
                                      .toUtf8();
    if (!config.open(QIODevice::WriteOnly) || config.write(configText) != configText.size()) {
        return QStringLiteral("cannot write the bus configuration");
    }
    config.close();

    // What the bus starts sees no display until setActivationEnvironment() gives it one: a
    // prompter then fails at once instead of waiting for someone at the screen.
    QProcessEnvironment busEnvironment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY"}) {
        busEnvironment.remove(QString::fromLatin1(name));
    }
    m_busDaemon = makeChild(busEnvironment);
    m_busDaemon->start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=") + config.fileName(),
                        QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    while (!m_busDaemon->canReadLine()) {
        if (!m_busDaemon->waitForReadyRead(patienceMs)) {
            return QStringLiteral("dbus-daemon gave no address");
        }
    }
    const QByteArray address = m_busDaemon->readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    m_bus = QDBusConnection::connectToBus(QString::fromUtf8(address),
                                          QStringLiteral("quenzal-private-keyring"));
    if (!m_bus.isConnected()) {
        return QStringLiteral("cannot connect to the private bus");
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromUtf8(address));
    for (const auto &[name, sub] :
         {std::pair{"HOME", "home"}, {"XDG_DATA_HOME", "data"}, {"XDG_RUNTIME_DIR", "runtime"}}) {
        environment.insert(QString::fromLatin1(name), dir.filePath(QString::fromLatin1(sub)));
    }
    QDBusServiceWatcher watcher(secrets, m_bus, QDBusServiceWatcher::WatchForRegistration);
    QSignalSpy registered(&watcher, &QDBusServiceWatcher::serviceRegistered);
    const bool unlocked = collection == Collection::unlocked;
    QStringList arguments{QStringLiteral("--foreground"), QStringLiteral("--components=secrets")};
    if (unlocked) {
        arguments << QStringLiteral("--unlock"); // with the password on standard input
    }
    m_keyring = makeChild(environment);
    m_keyring->setStandardOutputFile(QProcess::nullDevice());
    m_keyring->start(QStringLiteral("gnome-keyring-daemon"), arguments);
    if (!m_keyring->waitForStarted()) {
        return QStringLiteral("gnome-keyring-daemon did not start");
    }
    if (unlocked) {
        m_keyring->write("quenzal-test");
    }
    m_keyring->closeWriteChannel();
    if (!m_bus.interface()->isServiceRegistered(secrets) && !registered.wait(patienceMs)) {
        return QStringLiteral("gnome-keyring-daemon did not appear on the bus");
    }
    return {};
}

bool PrivateKeyring::signalKeyring(int signal)
{
    return m_keyring && m_keyring->processId() > 0 &&
           ::kill(pid_t(m_keyring->processId()), signal) == 0;
}

bool PrivateKeyring::closePrompt()
{
    const QDBusReply<uint> pid =
        m_bus.interface()->servicePid(QStringLiteral("org.gnome.keyring.SystemPrompter"));
    return pid.isValid() && ::kill(pid_t(pid.value()), SIGTERM) == 0;
}

bool PrivateKeyring::lockCollection()
{
    return call(secrets, QStringLiteral("/org/freedesktop/secrets"),
                QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Lock"),
                {QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath(loginCollection)})});
}

bool PrivateKeyring::deleteCollection()
{
    return call(secrets, loginCollection, QStringLiteral("org.freedesktop.Secret.Collection"),
                QStringLiteral("Delete"), {});
}

bool PrivateKeyring::setActivationEnvironment(const QMap<QString, QString> &variables)
{
    qDBusRegisterMetaType<QMap<QString, QString>>();
    return call(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                QStringLiteral("org.freedesktop.DBus"),
                QStringLiteral("UpdateActivationEnvironment"), {QVariant::fromValue(variables)});
}

bool PrivateKeyring::call(const QString &service, const QString &path, const QString &interface,
                          const QString &method, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = m_bus.call(message, QDBus::Block, patienceMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        qWarning("PrivateKeyring: %s failed: %s", qPrintable(method),
                 qPrintable(reply.errorMessage()));
    }
    return reply.type() != QDBusMessage::ErrorMessage;
}
