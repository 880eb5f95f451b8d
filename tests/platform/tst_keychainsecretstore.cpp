#include "fakesecretstore.h"
#include "keychainsecretstore.h"
#include "testhome.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <csignal>
#include <vector>

namespace {
const QString deepseekAccount = QStringLiteral("deepseek_api_key");
const QStringList accounts{deepseekAccount, QStringLiteral("telegram_bot_token"), "third"};
const SecretStore::ReadResult absent{SecretStore::Outcome::absent};
const SecretStore::ReadResult unavailable{SecretStore::Outcome::unavailable};
SecretStore::ReadResult found(const QByteArray &data)
{
    return {SecretStore::Outcome::found, data};
}
const bool withoutBus = qEnvironmentVariableIsSet("QUENZAL_TEST_NO_BUS");
} // namespace

// Against the throwaway gnome-keyring of scripts/with-keyring; the noBus cases run on their own
// (QUENZAL_TEST_NO_BUS), where every call must come back at once: one that hangs hits the timeout.
class TestKeychainSecretStore : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (QByteArray(QTest::currentTestFunction()).startsWith("noBus") != withoutBus) {
            QSKIP("for the other run of this test, with or without a bus");
        }
        if (!withoutBus && !qEnvironmentVariableIsSet("QUENZAL_TEST_KEYRING")) {
            QSKIP("needs a keyring of its own: run under scripts/with-keyring");
        }
    }

    // Overwriting another value; other items, even under a prefix of our service, stay.
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("otherService");
        QTest::addColumn<QString>("otherAccount");
        // Kept as base64 by QtKeychain; as text it would end at the first NUL.
        QTest::newRow("binary, other account")
            << QByteArray("\x00\x01\xfe\xff\x00tail", 9) << m_service << accounts[1];
        QTest::newRow("empty, service is a prefix")
            << QByteArray("") << m_service.chopped(1) << deepseekAccount;
    }
    void roundTrip()
    {
        QFETCH(QByteArray, value);
        QFETCH(QString, otherService);
        QFETCH(QString, otherAccount);
        QVERIFY(QCoro::waitFor(m_store.write(otherService, otherAccount, "theirs")));
        QVERIFY(QCoro::waitFor(m_store.write(m_service, deepseekAccount, "previous value")));
        QVERIFY(QCoro::waitFor(m_store.write(m_service, deepseekAccount, value)));
        QCOMPARE(QCoro::waitFor(m_store.read(m_service, deepseekAccount)), found(value));
        QVERIFY(QCoro::waitFor(m_store.remove(m_service, deepseekAccount)));
        QCOMPARE(QCoro::waitFor(m_store.read(m_service, deepseekAccount)), absent);
        QVERIFY(QCoro::waitFor(m_store.remove(m_service, deepseekAccount)));
        QCOMPARE(QCoro::waitFor(m_store.read(otherService, otherAccount)), found("theirs"));
        QVERIFY(QCoro::waitFor(m_store.remove(otherService, otherAccount)));
    }

    // Calls started together take turns on the keyring; none may be lost or left waiting.
    void concurrentCallsTakeTurns()
    {
        std::vector<QCoro::Task<bool>> writes;
        std::vector<QCoro::Task<SecretStore::ReadResult>> reads;
        for (const QString &account : accounts) {
            writes.push_back(m_store.write(m_service, account, account.toUtf8()));
            reads.push_back(m_store.read(m_service, account));
        }
        for (qsizetype i = 0; i < accounts.size(); ++i) {
            QVERIFY(QCoro::waitFor(writes[i]));
            QCOMPARE(QCoro::waitFor(reads[i]), found(accounts[i].toUtf8()));
        }
    }

    // Nor does remove() claim that anything is gone.
    void noBus()
    {
        QVERIFY(!QCoro::waitFor(m_store.write(m_service, deepseekAccount, "sk-0123456789abcdef")));
        QCOMPARE(QCoro::waitFor(m_store.read(m_service, deepseekAccount)), unavailable);
        QVERIFY(!QCoro::waitFor(m_store.remove(m_service, deepseekAccount)));
    }

    // Last, on a bus of its own whose Secret Service never starts (D-Bus gives up after 2 s):
    // the first call gives up sooner, and the next ones are not held up behind its job.
    void noBusSecretServiceNeverStarts()
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
        QCOMPARE(QCoro::waitFor(impatient.read(m_service, deepseekAccount)), unavailable);
        // Far beyond the test timeout: waiting behind the abandoned job fails the test.
        KeychainSecretStore patient(std::chrono::minutes(10));
        QVERIFY(!QCoro::waitFor(patient.remove(m_service, deepseekAccount)));
    }

private:
    // Unique per run: runs sharing a keyring cannot see each other's items.
    const QString m_service =
        QStringLiteral("org.quenzal.Test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    KeychainSecretStore m_store;
    QTemporaryDir m_busDir;
    QProcess m_bus;
};

int main(int argc, char *argv[])
{
    // Without a bus: an address that leads nowhere, and no display to autolaunch one from.
    const TestHome home;
    const QTemporaryDir nowhere;
    if (withoutBus) {
        qputenv("DBUS_SESSION_BUS_ADDRESS",
                "unix:path=" + QFile::encodeName(nowhere.path()) + "/no");
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
    }
    QCoreApplication app(argc, argv);
    TestKeychainSecretStore test;
    const int result = QTest::qExec(&test, argc, argv);
    std::signal(SIGTERM, SIG_IGN); // GDBus's, once the test's own bus has gone with it
    return result;
}

#include "tst_keychainsecretstore.moc"
