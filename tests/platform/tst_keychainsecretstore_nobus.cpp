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

// A machine without a session bus (a plain shell, ssh, a system service): every call has to
// come back as "absent" without a word. remove() gives false there: without a bus nobody can
// tell whether an item is left in a keyring somewhere, so it does not claim that it is gone.
// Nothing here measures time; an adapter that hangs runs into the test timeout.
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
// first request runs out of patience before that and leaves its job running; the next one runs
// out of patience waiting for its turn; a patient one gets the turn once D-Bus gives up on the
// first job, and then fails on its own. The service that never comes up goes when D-Bus gives up
// on it (its parent then ends): left behind, it would hold the test's output open and keep ctest
// waiting for half a minute.
void TestKeychainSecretStoreNoBus::unresponsiveSecretService()
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) {
        QSKIP("dbus-daemon is not installed");
    }
    QVERIFY(m_busDir.isValid());
    const auto writeFile = [](const QString &path, const QString &text) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size();
    };
    QVERIFY(QDir(m_busDir.path()).mkdir(QStringLiteral("services")));
    QVERIFY(writeFile(m_busDir.filePath(QStringLiteral("services/secrets.service")),
                      QStringLiteral("[D-BUS Service]\n"
                                     "Name=org.freedesktop.secrets\n"
                                     "Exec=/usr/bin/setpriv --pdeathsig KILL /bin/sleep 30\n")));
    const QString config = m_busDir.filePath(QStringLiteral("session.conf"));
    QVERIFY(writeFile(config, QStringLiteral("<busconfig>"
                                             "<type>session</type>"
                                             "<listen>unix:dir=%1</listen>"
                                             "<auth>EXTERNAL</auth>"
                                             "<servicedir>%1/services</servicedir>"
                                             "<policy context=\"default\">"
                                             "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                             "<allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                                             "</policy>"
                                             "<limit name=\"service_start_timeout\">2000</limit>"
                                             "</busconfig>")
                                  .arg(m_busDir.path())));

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

    // Far beyond the test timeout: a turn that is never handed over fails the test.
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
