#include "fakesecretstore.h"
#include "keychainsecretstore.h"
#include "testhome.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

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

private slots:
    void noBus()
    {
        KeychainSecretStore store;
        QVERIFY(!QCoro::waitFor(store.write(service, account, "sk-0123456789abcdef")));
        QCOMPARE(QCoro::waitFor(store.read(service, account)), unavailable);
        QVERIFY(!QCoro::waitFor(store.remove(service, account)));
    }

    // Last, on a bus of its own whose Secret Service never starts (D-Bus gives up after 2 s):
    // the first call gives up sooner, and the next ones are not held up behind its job.
    void unresponsiveSecretService()
    {
        const QString dir = m_busDir.path();
        QFile file(dir + "/services/secrets.service");
        QVERIFY(QDir(dir).mkpath("services") && file.open(QIODevice::WriteOnly));
        // Gone with D-Bus's attempt: left behind, it would keep ctest waiting for its output.
        file.write("[D-BUS Service]\nName=org.freedesktop.secrets\n"
                   "Exec=/usr/bin/setpriv --pdeathsig KILL /bin/sleep 30\n");
        file.close();
        file.setFileName(dir + "/session.conf");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                                  "<auth>EXTERNAL</auth><servicedir>%1/services</servicedir>"
                                  "<policy context='default'><allow send_destination='*'/>"
                                  "<allow own='*'/></policy><limit name='service_start_timeout'>"
                                  "2000</limit></busconfig>")
                       .arg(dir)
                       .toUtf8());
        file.close();
        m_bus.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_bus.start("dbus-daemon",
                    {"--config-file=" + file.fileName(), "--nofork", "--print-address=1"});
        QVERIFY2(m_bus.waitForReadyRead(30'000), "dbus-daemon gave no address");
        QTRY_VERIFY(m_bus.canReadLine());
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
    // A bus address that leads nowhere, no display to autolaunch one from, a throwaway home.
    const TestHome home;
    const QTemporaryDir nowhere;
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(nowhere.path()) + "/no");
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    QCoreApplication app(argc, argv);
    TestKeychainSecretStoreNoBus test;
    const int result = QTest::qExec(&test, argc, argv);
    std::signal(SIGTERM, SIG_IGN); // GDBus's, once the test's own bus has gone with it
    return result;
}

#include "tst_keychainsecretstore_nobus.moc"
