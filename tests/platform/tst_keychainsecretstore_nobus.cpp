#include "fakesecretstore.h"
#include "keychainsecretstore.h"
#include "testhome.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

namespace {
const QString service = QStringLiteral("org.quenzal.Quenzal");
const QString account = QStringLiteral("deepseek_api_key");
const SecretStore::ReadResult unavailable{SecretStore::Outcome::unavailable};
} // namespace

// Without a usable session bus every call comes back at once as unavailable, and remove() does
// not claim that anything is gone. An adapter that hangs runs into the test timeout.
class TestKeychainSecretStoreNoBus : public QObject
{
    Q_OBJECT

public:
    ~TestKeychainSecretStoreNoBus() override
    {
        m_bus.kill();
        m_bus.waitForFinished();
    }

private slots:
    void noBus()
    {
        KeychainSecretStore store;
        QVERIFY(!QCoro::waitFor(store.write(service, account, "sk-0123456789abcdef")));
        QCOMPARE(QCoro::waitFor(store.read(service, account)), unavailable);
        QVERIFY(!QCoro::waitFor(store.remove(service, account)));
    }

    // Last, as it connects to a bus of its own. D-Bus tries to start a Secret Service and gives
    // up after two seconds: the first call runs out of patience before that and leaves its job
    // running, and the next ones, however patient, are not held up behind it.
    void unresponsiveSecretService()
    {
        const auto write = [this](const QString &name, const QString &text) {
            QFile file(m_busDir.filePath(name));
            return QDir(m_busDir.path()).mkpath("services") && file.open(QIODevice::WriteOnly) &&
                   file.write(text.toUtf8()) > 0;
        };
        // Gone with D-Bus's attempt: left behind, it would keep ctest waiting for its output.
        QVERIFY(write("services/secrets.service",
                      "[D-BUS Service]\nName=org.freedesktop.secrets\n"
                      "Exec=/usr/bin/setpriv --pdeathsig KILL /bin/sleep 30\n"));
        QVERIFY(write("session.conf",
                      QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                                     "<auth>EXTERNAL</auth><servicedir>%1/services</servicedir>"
                                     "<policy context=\"default\"><allow send_destination=\"*\"/>"
                                     "<allow own=\"*\"/></policy>"
                                     "<limit name=\"service_start_timeout\">2000</limit>"
                                     "</busconfig>")
                          .arg(m_busDir.path())));
        m_bus.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {"--config-file=" + m_busDir.filePath("session.conf"), "--nofork",
                     "--print-address=1"});
        while (!m_bus.canReadLine()) {
            QVERIFY2(m_bus.waitForReadyRead(30'000), "dbus-daemon gave no address");
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.readLine().trimmed());

        KeychainSecretStore impatient(std::chrono::milliseconds(300));
        QCOMPARE(QCoro::waitFor(impatient.read(service, account)), unavailable);
        // Far beyond the test timeout: waiting behind the abandoned job fails the test.
        KeychainSecretStore patient(std::chrono::minutes(10));
        QVERIFY(!QCoro::waitFor(patient.remove(service, account)));
    }

private:
    QTemporaryDir m_busDir;
    QProcess m_bus;
};

int main(int argc, char *argv[])
{
    // Before anything connects: a bus address that leads nowhere, no display to autolaunch
    // D-Bus from, and a throwaway home in case anything kept a secret on disk.
    const TestHome home;
    const QTemporaryDir nowhere;
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(nowhere.path()) + "/no");
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    QCoreApplication app(argc, argv);
    auto test = std::make_unique<TestKeychainSecretStoreNoBus>();
    const int result = QTest::qExec(test.get(), argc, argv);
    // GDBus ends a process with SIGTERM when its session bus goes, as that one does with the test.
    std::signal(SIGTERM, SIG_IGN);
    test.reset();
    return result;
}

#include "tst_keychainsecretstore_nobus.moc"
