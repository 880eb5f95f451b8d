#include "fakesecretstore.h"
#include "keychainsecretstore.h"

#include <QTest>
#include <QUuid>

#include <vector>

namespace {
const QString deepseekAccount = QStringLiteral("deepseek_api_key");
const QString telegramAccount = QStringLiteral("telegram_bot_token");
const QStringList accounts{deepseekAccount, telegramAccount, QStringLiteral("third")};
const SecretStore::ReadResult absent{SecretStore::Outcome::absent};
SecretStore::ReadResult found(const QByteArray &data)
{
    return {SecretStore::Outcome::found, data};
}
} // namespace

// Against the throwaway gnome-keyring of scripts/with-keyring (QUENZAL_TEST_KEYRING).
class TestKeychainSecretStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!qEnvironmentVariableIsSet("QUENZAL_TEST_KEYRING")) {
            QSKIP("needs a keyring of its own: run under scripts/with-keyring");
        }
        QVERIFY(QCoro::waitFor(m_store.write(m_service, deepseekAccount, "probe")));
    }

    // Overwriting another value; other items, even under a prefix of our service, stay.
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("otherService");
        QTest::addColumn<QString>("otherAccount");
        // Kept as base64 by QtKeychain; as text it would end at the first NUL.
        QTest::newRow("binary, other account")
            << QByteArray("\x00\x01\xfe\xff\x00tail", 9) << m_service << telegramAccount;
        QTest::newRow("empty, service is a prefix")
            << QByteArray("") << m_prefix << deepseekAccount;
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

private:
    // Unique per run: runs sharing a keyring cannot see each other's items.
    const QString m_service =
        QStringLiteral("org.quenzal.Test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString m_prefix = m_service.chopped(1);
    KeychainSecretStore m_store;
};

QTEST_GUILESS_MAIN(TestKeychainSecretStore)
#include "tst_keychainsecretstore.moc"
