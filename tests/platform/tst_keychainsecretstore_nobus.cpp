#include "fakesecretstore.h"
#include "keychainsecretstore.h"
#include "testhome.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

namespace {
const QString service = QStringLiteral("org.quenzal.Quenzal");
const QString deepseekAccount = QStringLiteral("deepseek_api_key");
const SecretStore::ReadResult unavailable{SecretStore::Outcome::unavailable};
} // namespace

// A machine without a session bus (a plain shell, ssh, a system service): every call comes back
// at once as unavailable, and remove() does not claim that anything is gone. Nothing here
// measures time; an adapter that hangs runs into the test timeout.
class TestKeychainSecretStoreNoBus : public QObject
{
    Q_OBJECT

public:
    ~TestKeychainSecretStoreNoBus() override
    {
        if (m_bus) {
            m_bus->kill();
            m_bus->waitForFinished();
        }
    }

private slots:
    void everyCallIsAbsent();
    // Last: it connects to a bus of its own, which the process cannot leave again.
    void unresponsiveSecretService();

private:
    KeychainSecretStore m_store;
    QTemporaryDir m_busDir;
    std::unique_ptr<QProcess> m_bus;
};

void TestKeychainSecretStoreNoBus::everyCallIsAbsent()
{
    QCOMPARE(QCoro::waitFor(m_store.read(service, deepseekAccount)), unavailable);
    QVERIFY(!QCoro::waitFor(m_store.write(service, deepseekAccount, "sk-0123456789abcdef")));
    QCOMPARE(QCoro::waitFor(m_store.read(service, deepseekAccount)), unavailable);
    QVERIFY(!QCoro::waitFor(m_store.remove(service, deepseekAccount)));
}

// A Secret Service that D-Bus tries and fails to start, giving up after two seconds here. The
// first request runs out of patience before that and leaves its job running; the next ones,
// however patient, are not held up behind that job. The service that never comes up goes when
// D-Bus gives up on it: left behind, it would hold the test's output open and keep ctest waiting.
void TestKeychainSecretStoreNoBus::unresponsiveSecretService()
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    QVERIFY2(!daemon.isEmpty() && m_busDir.isValid(), "dbus-daemon is not installed");
    const auto writeFile = [this](const QString &name, const QString &text) {
        QFile file(m_busDir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size();
    };
    QVERIFY(QDir(m_busDir.path()).mkdir(QStringLiteral("services")));
    QVERIFY(writeFile("services/secrets.service",
                      "[D-BUS Service]\nName=org.freedesktop.secrets\n"
                      "Exec=/usr/bin/setpriv --pdeathsig KILL /bin/sleep 30\n"));
    QVERIFY(writeFile("session.conf",
                      QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                                     "<auth>EXTERNAL</auth><servicedir>%1/services</servicedir>"
                                     "<policy context=\"default\"><allow send_destination=\"*\"/>"
                                     "<allow own=\"*\"/></policy>"
                                     "<limit name=\"service_start_timeout\">2000</limit>"
                                     "</busconfig>")
                          .arg(m_busDir.path())));
    const QString config = m_busDir.filePath(QStringLiteral("session.conf"));

    m_bus = std::make_unique<QProcess>();
    m_bus->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_bus->start(daemon, {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                          QStringLiteral("--print-address=1")});
    QVERIFY(m_bus->waitForStarted());
    while (!m_bus->canReadLine()) {
        QVERIFY2(m_bus->waitForReadyRead(30'000), "dbus-daemon gave no address");
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus->readLine().trimmed());

    KeychainSecretStore impatient(std::chrono::milliseconds(300));
    QCOMPARE(QCoro::waitFor(impatient.read(service, deepseekAccount)), unavailable);
    QVERIFY(!QCoro::waitFor(impatient.write(service, deepseekAccount, "value")));

    // Far beyond the test timeout: waiting behind the abandoned job fails the test.
    KeychainSecretStore patient(std::chrono::minutes(10));
    QVERIFY(!QCoro::waitFor(patient.remove(service, deepseekAccount)));
}

int main(int argc, char *argv[])
{
    // All before anything can connect: a bus address that leads nowhere, and no display from
    // which D-Bus could be autolaunched. The home folder is a throwaway one, in case anything
    // tried to keep a secret on disk.
    const TestHome home;
    const QTemporaryDir nowhere;
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            "unix:path=" + QFile::encodeName(nowhere.filePath(QStringLiteral("no-bus"))));
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");

    QCoreApplication app(argc, argv);
    auto test = std::make_unique<TestKeychainSecretStoreNoBus>();
    const int result = QTest::qExec(test.get(), argc, argv);

    // GDBus ends a process with SIGTERM when its session bus goes away; the bus of
    // unresponsiveSecretService() goes with the test object, after the verdict.
    std::signal(SIGTERM, SIG_IGN);
    test.reset();
    return result;
}

#include "tst_keychainsecretstore_nobus.moc"
