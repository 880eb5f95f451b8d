#include "fakesecretstore.h"
#include "keychainsecretstore.h"
#include "testhome.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

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

// Against the throwaway gnome-keyring of scripts/with-keyring; noBus runs on its own
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

private:
    // Unique per run: runs sharing a keyring cannot see each other's items.
    const QString m_service =
        QStringLiteral("org.quenzal.Test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    KeychainSecretStore m_store;
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
    return QTest::qExec(&test, argc, argv);
}

#include "tst_keychainsecretstore.moc"
