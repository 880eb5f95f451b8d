#include "fakesecretstore.h"
#include "keychainsecretstore.h"

#include <QTest>
#include <QUuid>

#include <vector>

// Runs against the Secret Service of the session bus. scripts/with-keyring provides a throwaway
// gnome-keyring and sets QUENZAL_TEST_KEYRING; from then on a missing keyring is a failure, so
// that a test run cannot pass by quietly skipping everything.
class TestKeychainSecretStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void roundTrip_data();
    void roundTrip();
    void itemsStayApart_data();
    void itemsStayApart();
    void concurrentCallsTakeTurns();

private:
    // Unique per run, so that runs sharing a keyring cannot see each other's items.
    const QString m_service =
        QStringLiteral("org.quenzal.Test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QStringList m_otherServices;
    KeychainSecretStore m_store;
};

namespace {
const QString deepseekAccount = QStringLiteral("deepseek_api_key");
const QString telegramAccount = QStringLiteral("telegram_bot_token");
const SecretStore::ReadResult absent{SecretStore::Outcome::absent};
SecretStore::ReadResult found(const QByteArray &data)
{
    return {SecretStore::Outcome::found, data};
}
} // namespace

void TestKeychainSecretStore::initTestCase()
{
    if (!qEnvironmentVariableIsSet("QUENZAL_TEST_KEYRING")) {
        QSKIP("needs a keyring of its own: run under scripts/with-keyring");
    }
    const QString probe = QStringLiteral("probe");
    if (!QCoro::waitFor(m_store.write(m_service, probe, "probe"))) {
        QFAIL("QUENZAL_TEST_KEYRING is set but no Secret Service took a write on the session bus");
    }
    QVERIFY(QCoro::waitFor(m_store.remove(m_service, probe)));
}

void TestKeychainSecretStore::cleanupTestCase()
{
    if (!qEnvironmentVariableIsSet("QUENZAL_TEST_KEYRING")) {
        return;
    }
    const QStringList services = m_otherServices + QStringList{m_service};
    for (const QString &service : services) {
        for (const QString &account : {deepseekAccount, telegramAccount}) {
            QCoro::waitFor(m_store.remove(service, account));
        }
    }
}

void TestKeychainSecretStore::roundTrip_data()
{
    QTest::addColumn<QByteArray>("value");

    QTest::newRow("utf-8") << QStringLiteral("ключ · 鍵 · 🔑").toUtf8();
    // Kept as base64 by QtKeychain; as text it would end at the first NUL.
    QTest::newRow("binary") << QByteArray("\x00\x01\xfe\xff\x00tail", 9);
    QTest::newRow("empty") << QByteArray("");
}

// Save, load, overwrite and delete, with a first value different from the one under test, so
// that reading back the old value is a failure too.
void TestKeychainSecretStore::roundTrip()
{
    QFETCH(QByteArray, value);

    QVERIFY(QCoro::waitFor(m_store.write(m_service, deepseekAccount, "previous value")));
    QVERIFY(QCoro::waitFor(m_store.write(m_service, deepseekAccount, value)));
    QCOMPARE(QCoro::waitFor(m_store.read(m_service, deepseekAccount)), found(value));

    QVERIFY(QCoro::waitFor(m_store.remove(m_service, deepseekAccount)));
    QCOMPARE(QCoro::waitFor(m_store.read(m_service, deepseekAccount)), absent);
    QVERIFY(QCoro::waitFor(m_store.remove(m_service, deepseekAccount)));
}

void TestKeychainSecretStore::itemsStayApart_data()
{
    QTest::addColumn<QString>("otherService");
    QTest::addColumn<QString>("otherAccount");

    const QString extended = m_service + QStringLiteral(".Beta");
    const QString prefix = m_service.left(m_service.size() - 1);
    m_otherServices << extended << prefix;

    QTest::newRow("other account") << m_service << telegramAccount;
    QTest::newRow("other service") << extended << deepseekAccount;
    QTest::newRow("service is a prefix") << prefix << deepseekAccount;
}

void TestKeychainSecretStore::itemsStayApart()
{
    QFETCH(QString, otherService);
    QFETCH(QString, otherAccount);
    const SecretStore::ReadResult mine = found("mine");
    const SecretStore::ReadResult theirs = found("theirs");

    QVERIFY(QCoro::waitFor(m_store.write(m_service, deepseekAccount, mine.data)));
    QCOMPARE(QCoro::waitFor(m_store.read(otherService, otherAccount)), absent);

    QVERIFY(QCoro::waitFor(m_store.write(otherService, otherAccount, theirs.data)));
    QCOMPARE(QCoro::waitFor(m_store.read(m_service, deepseekAccount)), mine);
    QCOMPARE(QCoro::waitFor(m_store.read(otherService, otherAccount)), theirs);

    QVERIFY(QCoro::waitFor(m_store.remove(otherService, otherAccount)));
    QCOMPARE(QCoro::waitFor(m_store.read(m_service, deepseekAccount)), mine);
    QVERIFY(QCoro::waitFor(m_store.remove(m_service, deepseekAccount)));
}

// Calls started together take turns on the keyring; none may be lost or left waiting.
void TestKeychainSecretStore::concurrentCallsTakeTurns()
{
    const QStringList accounts{deepseekAccount, telegramAccount, QStringLiteral("third")};
    const auto all = [&](auto call) {
        std::vector<decltype(call(accounts[0]))> tasks;
        for (const QString &account : accounts) {
            tasks.push_back(call(account));
        }
        return tasks;
    };
    for (auto &write :
         all([&](const QString &a) { return m_store.write(m_service, a, a.toUtf8()); })) {
        QVERIFY(QCoro::waitFor(write));
    }
    auto reads = all([&](const QString &a) { return m_store.read(m_service, a); });
    for (qsizetype i = 0; i < accounts.size(); ++i) {
        QCOMPARE(QCoro::waitFor(reads[i]), found(accounts[i].toUtf8()));
    }
    for (auto &removal : all([&](const QString &a) { return m_store.remove(m_service, a); })) {
        QVERIFY(QCoro::waitFor(removal));
    }
}

QTEST_GUILESS_MAIN(TestKeychainSecretStore)
#include "tst_keychainsecretstore.moc"
