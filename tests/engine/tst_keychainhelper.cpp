// Credential rules over an in-memory keyring.
#include "fakesecretstore.h"
#include "keychainhelper.h"
#include "keyringlockederror.h"
#include "waitfortask.h"

#include <QTest>

using Outcome = SecretStore::Outcome;

class TestKeychainHelper : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_store = std::make_shared<FakeSecretStore>();
        m_helper = std::make_unique<KeychainHelper>("org.example.Test", m_store);
    }

    void saveLoadDelete()
    {
        QCOMPARE(waitForTask(m_helper->load("deepseek_api_key")).outcome, Outcome::absent);
        QVERIFY(waitForTask(m_helper->save("first", "deepseek_api_key")));
        QVERIFY(waitForTask(m_helper->save("ключ-2 🔑", "deepseek_api_key")));
        QCOMPARE(m_store->items.size(), 1);
        QCOMPARE(waitForTask(m_helper->load("deepseek_api_key")).value(), "ключ-2 🔑");
        QCOMPARE(m_store->items.value({"org.example.Test", "deepseek_api_key"}),
                 QStringLiteral("ключ-2 🔑").toUtf8());
        // A write the keyring refuses keeps the key that was there.
        m_store->writable = false;
        QVERIFY(!waitForTask(m_helper->save("third", "deepseek_api_key")));
        QCOMPARE(waitForTask(m_helper->load("deepseek_api_key")).value(), "ключ-2 🔑");
        m_store->writable = true;
        QVERIFY(waitForTask(m_helper->remove("deepseek_api_key")));
        QVERIFY(waitForTask(m_helper->remove("never_written")));
        QVERIFY(!waitForTask(m_helper->load("deepseek_api_key")).value());
    }

    void refusesWhatCannotBeStoredFaithfully()
    {
        QVERIFY(waitForTask(m_helper->save("old", "k")));
        const QString loneSurrogate = QStringLiteral("key") + QChar(0xd800);
        QVERIFY(!waitForTask(m_helper->save(loneSurrogate, "k")));
        QCOMPARE(waitForTask(m_helper->load("k")).value(), "old");

        m_store->items.insert({"org.example.Test", "k"}, QByteArray("\xc3\x28"));
        QCOMPARE(waitForTask(m_helper->load("k")).outcome, Outcome::absent);
    }

    // The built-in value is written back only where the keyring said it has none: a keyring
    // that could not be read may hold the user's own key.
    void credential_data()
    {
        QTest::addColumn<QString>("builtIn");
        QTest::addColumn<Outcome>("outcome");   // of every read
        QTest::addColumn<QByteArray>("stored"); // null: no item
        QTest::addColumn<QString>("result");    // null: KeyringLockedError
        QTest::addColumn<int>("writes");
        const QString builtIn = QStringLiteral("built-in");
        QTest::newRow("stored wins")
            << builtIn << Outcome::found << QByteArray("sk-user") << "sk-user" << 0;
        QTest::newRow("empty item counts as absent")
            << builtIn << Outcome::found << QByteArray("") << builtIn << 1;
        QTest::newRow("absent") << builtIn << Outcome::found << QByteArray() << builtIn << 1;
        QTest::newRow("no built-in value: nothing written")
            << QString("") << Outcome::found << QByteArray() << QString("") << 0;
        QTest::newRow("no answer")
            << builtIn << Outcome::unavailable << QByteArray("sk-user") << builtIn << 0;
        QTest::newRow("locked") << builtIn << Outcome::locked << QByteArray("sk-user") << builtIn
                                << 0;
        QTest::newRow("locked, nothing else")
            << QString("") << Outcome::locked << QByteArray("sk-user") << QString() << 0;
        QTest::newRow("no answer, nothing else")
            << QString("") << Outcome::unavailable << QByteArray() << QString("") << 0;
    }
    void credential()
    {
        QFETCH(QString, builtIn);
        QFETCH(Outcome, outcome);
        QFETCH(QByteArray, stored);
        QFETCH(QString, result);
        QFETCH(int, writes);
        if (!stored.isNull()) {
            m_store->items.insert({"org.example.Test", "deepseek_api_key"}, stored);
        }
        m_store->readOutcome = outcome;
        if (result.isNull()) {
            QVERIFY_THROWS_EXCEPTION(
                KeyringLockedError, waitForTask(m_helper->credential("deepseek_api_key", builtIn)));
        } else {
            QCOMPARE(waitForTask(m_helper->credential("deepseek_api_key", builtIn)), result);
        }
        QCOMPARE(m_store->writes, writes);
        if (writes > 0) {
            QCOMPARE(m_store->items.value({"org.example.Test", "deepseek_api_key"}),
                     builtIn.toUtf8());
        }
    }

    // Once read, the user's key stands in for a keyring that stops answering or gets locked.
    void rememberTheKeyReadLast()
    {
        m_store->items.insert({"org.example.Test", "k"}, "sk-user");
        QCOMPARE(waitForTask(m_helper->credential("k", "built-in")), "sk-user");
        for (Outcome outcome : {Outcome::unavailable, Outcome::locked}) {
            m_store->readOutcome = outcome;
            QCOMPARE(waitForTask(m_helper->credential("k", "")), "sk-user");
        }
        m_store->readOutcome = Outcome::found;
        m_store->items.insert({"org.example.Test", "k"}, "sk-changed");
        QCOMPARE(waitForTask(m_helper->credential("k", "built-in")), "sk-changed");
        QCOMPARE(m_store->writes, 0);
    }

    void writeBackNeverHoldsTheCaller()
    {
        m_store->holdWrites = true;
        QCOMPARE(waitForTask(m_helper->credential("k", "built-in")), "built-in");
        // While the write is under way the keyring is not asked again, nor written twice.
        QCOMPARE(waitForTask(m_helper->credential("k", "built-in")), "built-in");
        QCOMPARE(m_store->reads, 1);
        QCOMPARE(m_store->writes, 1);

        m_store->releaseWrites();
        QTRY_COMPARE(m_store->items.value({"org.example.Test", "k"}), "built-in");
        QCOMPARE(waitForTask(m_helper->credential("k", "built-in")), "built-in");
        QCOMPARE(m_store->reads, 2);
        // Deleted by the user, it is written again.
        m_store->holdWrites = false;
        m_store->items.clear();
        QCOMPARE(waitForTask(m_helper->credential("k", "built-in")), "built-in");
        QCOMPARE(m_store->writes, 2);
    }

    void refusedWriteBackIsNotRepeated()
    {
        m_store->writable = false;
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(waitForTask(m_helper->credential("k", "built-in")), "built-in");
        }
        QCOMPARE(m_store->writes, 1);
    }

    void deobfuscate_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("plain");
        QTest::newRow("ascii") << QByteArray("\x29\x31\x77\x6a") << 0x5a << "sk-0";
        QTest::newRow("utf-8") << QByteArray("\x76\x29") << 0xa7 << QStringLiteral("ю");
        QTest::newRow("not UTF-8") << QByteArray("\x99\x72") << 0x5a << "";
    }
    void deobfuscate()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, key);
        QFETCH(QString, plain);
        QCOMPARE(KeychainHelper::deobfuscate(bytes, quint8(key)), plain);
    }

private:
    std::shared_ptr<FakeSecretStore> m_store;
    std::unique_ptr<KeychainHelper> m_helper;
};

QTEST_GUILESS_MAIN(TestKeychainHelper)
#include "tst_keychainhelper.moc"
