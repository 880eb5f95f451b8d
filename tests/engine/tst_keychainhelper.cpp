// Credential rules over an in-memory keyring.
#include "fakesecretstore.h"
#include "keychainhelper.h"
#include "waitfortask.h"

#include <QTest>

using Outcome = SecretStore::Outcome;

namespace {

const QPair<QString, QString> item{"org.example.Test", "k"};

} // namespace

class TestKeychainHelper : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_store = std::make_shared<FakeSecretStore>();
        m_helper = std::make_unique<KeychainHelper>(item.first, m_store);
    }

    // A failed save keeps the old key: never removed first.
    void savedKeys()
    {
        QCOMPARE(waitForTask(m_helper->load("k")).outcome, Outcome::absent);
        QVERIFY(waitForTask(m_helper->save(QStringLiteral("ключ 🔑"), "k")));
        QVERIFY(!waitForTask(m_helper->save(QStringLiteral("key") + QChar(0xd800), "k")));
        m_store->writable = false;
        QVERIFY(!waitForTask(m_helper->save("refused", "k")));
        QCOMPARE(waitForTask(m_helper->load("k")).value(), QStringLiteral("ключ 🔑"));
        QCOMPARE(m_store->removes, 0);
        m_store->items.insert(item, QByteArray("\xc3\x28"));
        QCOMPARE(waitForTask(m_helper->load("k")).outcome, Outcome::absent);
        QVERIFY(waitForTask(m_helper->remove("k")));
        QVERIFY(m_store->items.isEmpty());
    }

    // The built-in key is written only where the keyring said it has none.
    void credential()
    {
        m_store->items.insert(item, "");
        QCOMPARE(waitForTask(m_helper->credential("k", "built-in")), "built-in");
        QCOMPARE(m_store->items.value(item), "built-in");
        m_store->items.insert(item, "sk-user");
        QCOMPARE(waitForTask(m_helper->credential("k", "built-in")), "sk-user");
        m_store->items.clear();
        m_store->readOutcome = Outcome::locked;
        QCOMPARE(waitForTask(m_helper->credential("k", "built-in")), "sk-user");
        QCOMPARE(m_store->writes, 1);
        init();
        m_store->readOutcome = Outcome::unavailable;
        QCOMPARE(waitForTask(m_helper->credential("k", "built-in")), "built-in");
        QCOMPARE(m_store->writes, 0);
    }

    // During a write-back the keyring is not asked again; a deleted item is written again.
    void writeBack()
    {
        m_store->holdWrites = true;
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(waitForTask(m_helper->credential("k", "built-in")), "built-in");
        }
        QCOMPARE(m_store->reads, 1);
        QCOMPARE(m_store->writes, 1);
        m_store->releaseWrites();
        QTRY_COMPARE(m_store->items.value(item), "built-in");
        m_store->holdWrites = false;
        m_store->items.clear();
        QCOMPARE(waitForTask(m_helper->credential("k", "built-in")), "built-in");
        QCOMPARE(m_store->reads, 2);
        QCOMPARE(m_store->writes, 2);
    }

    void deobfuscate()
    {
        QCOMPARE(KeychainHelper::deobfuscate("\x29\x31\x77\x6a", 0x5a), "sk-0");
        QCOMPARE(KeychainHelper::deobfuscate("\x99\x72", 0x5a), ""); // not UTF-8
    }

private:
    std::shared_ptr<FakeSecretStore> m_store;
    std::unique_ptr<KeychainHelper> m_helper;
};

QTEST_GUILESS_MAIN(TestKeychainHelper)
#include "tst_keychainhelper.moc"
