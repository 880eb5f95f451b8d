// Credential rules over an in-memory keyring.
#include "fakesecretstore.h"
#include "keychainhelper.h"
#include "waitfortask.h"

#include <QTest>

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
        QVERIFY(!waitForTask(m_helper->load("deepseek_api_key")));
        QVERIFY(waitForTask(m_helper->save("first", "deepseek_api_key")));
        QVERIFY(waitForTask(m_helper->save("ключ-2 🔑", "deepseek_api_key")));
        QCOMPARE(m_store->items.size(), 1);
        QCOMPARE(waitForTask(m_helper->load("deepseek_api_key")), "ключ-2 🔑");
        QCOMPARE(m_store->items.value({"org.example.Test", "deepseek_api_key"}),
                 QStringLiteral("ключ-2 🔑").toUtf8());
        // A write the keyring refuses keeps the key that was there.
        m_store->writable = false;
        QVERIFY(!waitForTask(m_helper->save("third", "deepseek_api_key")));
        QCOMPARE(waitForTask(m_helper->load("deepseek_api_key")), "ключ-2 🔑");
        m_store->writable = true;
        QVERIFY(waitForTask(m_helper->remove("deepseek_api_key")));
        QVERIFY(waitForTask(m_helper->remove("never_written")));
        QVERIFY(!waitForTask(m_helper->load("deepseek_api_key")));
    }

    void refusesWhatCannotBeStoredFaithfully()
    {
        QVERIFY(waitForTask(m_helper->save("old", "k")));
        const QString loneSurrogate = QStringLiteral("key") + QChar(0xd800);
        QVERIFY(!waitForTask(m_helper->save(loneSurrogate, "k")));
        QCOMPARE(waitForTask(m_helper->load("k")), "old");

        m_store->items.insert({"org.example.Test", "k"}, QByteArray("\xc3\x28"));
        QVERIFY(!waitForTask(m_helper->load("k")));
    }

    void credentialPrefersTheKeyring_data()
    {
        QTest::addColumn<QString>("builtIn");
        QTest::addColumn<bool>("available");
        QTest::addColumn<QByteArray>("stored"); // null: no item
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("writes");
        const QString builtIn = QStringLiteral("built-in");
        QTest::newRow("stored wins") << builtIn << true << QByteArray("sk-user") << "sk-user" << 0;
        QTest::newRow("empty item counts as absent")
            << builtIn << true << QByteArray("") << builtIn << 1;
        QTest::newRow("absent") << builtIn << true << QByteArray() << builtIn << 1;
        QTest::newRow("no keyring") << builtIn << false << QByteArray() << builtIn << 1;
        QTest::newRow("no built-in value: nothing written")
            << QString() << true << QByteArray() << QString() << 0;
    }
    void credentialPrefersTheKeyring()
    {
        QFETCH(QString, builtIn);
        QFETCH(bool, available);
        QFETCH(QByteArray, stored);
        QFETCH(QString, result);
        QFETCH(int, writes);
        if (!stored.isNull()) {
            m_store->items.insert({"org.example.Test", "deepseek_api_key"}, stored);
        }
        m_store->available = available;
        QCOMPARE(waitForTask(m_helper->credential("deepseek_api_key", builtIn)), result);
        QCOMPARE(m_store->writes, writes);
        if (writes > 0 && available) {
            QCOMPARE(m_store->items.value({"org.example.Test", "deepseek_api_key"}),
                     builtIn.toUtf8());
        }
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
