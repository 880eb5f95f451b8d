// Credential rules over an in-memory keyring, and against a real gnome-keyring on a bus of its
// own, frozen, locked or prompting.
#include "fakesecretstore.h"
#include "keychainhelper.h"
#include "keychainsecretstore.h"
#include "keyringlockederror.h"
#include "privatekeyring.h"
#include "waitfortask.h"

#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;
using Outcome = SecretStore::Outcome;

namespace {

const QString service = QStringLiteral("org.quenzal.Test");
const QString account = QStringLiteral("k");
const QPair<QString, QString> item{service, account};
const QString builtIn = QStringLiteral("built-in");

// The real keyring; writes counts those started, running those not yet answered.
struct WatchedStore : KeychainSecretStore
{
    using KeychainSecretStore::KeychainSecretStore;
    QCoro::Task<bool> write(QString service, QString account, QByteArray data) override
    {
        ++writes;
        ++running;
        const bool written = co_await KeychainSecretStore::write(service, account, data);
        --running;
        co_return written;
    }
    int writes = 0;
    int running = 0;
};

} // namespace

class TestKeychainHelper : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_keyringError = m_keyring.start(PrivateKeyring::Collection::unlocked,
                                         {QStringLiteral("org.gnome.keyring.SystemPrompter")});
        QVERIFY2(m_keyringError.isEmpty() || !qEnvironmentVariableIsSet("QUENZAL_TEST_KEYRING"),
                 qPrintable(m_keyringError));
    }
    void init()
    {
        if (QByteArray(QTest::currentTestFunction()).startsWith("keyring") &&
            !m_keyringError.isEmpty()) {
            QSKIP(qPrintable(m_keyringError));
        }
        m_store = std::make_shared<FakeSecretStore>();
        m_helper = std::make_unique<KeychainHelper>(service, m_store);
    }

    // Keys go in and out as UTF-8; what has none is neither stored nor read. (Saving over a key,
    // refused or not, and removing it, the settings' key section does through this helper.)
    void savedKeys()
    {
        QVERIFY(waitForTask(m_helper->save(QStringLiteral("ключ 🔑"), account)));
        QVERIFY(!waitForTask(m_helper->save(QStringLiteral("key") + QChar(0xd800), account)));
        QCOMPARE(waitForTask(m_helper->load(account)).value(), QStringLiteral("ключ 🔑"));
        m_store->items.insert(item, QByteArray("\xc3\x28"));
        QCOMPARE(waitForTask(m_helper->load(account)).outcome, Outcome::absent);
        QCOMPARE(KeychainHelper::deobfuscate("\x29\x31\x77\x6a", 0x5a), "sk-0");
        QCOMPARE(KeychainHelper::deobfuscate("\x99\x72", 0x5a), ""); // not UTF-8
    }

    // The built-in key is written only where the keyring said it has none.
    void credential()
    {
        m_store->items.insert(item, "");
        QCOMPARE(waitForTask(m_helper->credential(account, builtIn)), builtIn);
        QCOMPARE(m_store->items.value(item), builtIn);
        m_store->items.insert(item, "sk-user");
        QCOMPARE(waitForTask(m_helper->credential(account, builtIn)), "sk-user");
        m_store->items.clear();
        m_store->readOutcome = Outcome::locked;
        QCOMPARE(waitForTask(m_helper->credential(account, builtIn)), "sk-user");
        QCOMPARE(m_store->writes, 1);
        init();
        m_store->readOutcome = Outcome::unavailable;
        QCOMPARE(waitForTask(m_helper->credential(account, builtIn)), builtIn);
        QCOMPARE(m_store->writes, 0);
        m_store->readOutcome = Outcome::found; // none stored: written, and again once deleted
        for (int writes = 1; writes <= 2; ++writes) {
            m_store->items.clear();
            QCOMPARE(waitForTask(m_helper->credential(account, builtIn)), builtIn);
            QCOMPARE(m_store->writes, writes);
        }
    }

    // A frozen keyring is waited for once, and its late answer leaves the user's key stored.
    void keyringFrozen()
    {
        auto store = std::make_shared<WatchedStore>(1s);
        KeychainHelper helper(service, store);
        QVERIFY(waitForTask(KeychainSecretStore().write(service, account, "sk-user")));
        QVERIFY(m_keyring.freeze());
        QCOMPARE(waitForTask(helper.credential(account, builtIn)), builtIn);
        QVERIFY(!waitForTask(store->remove(service, account))); // given up: nothing claimed gone
        QTimer::singleShot(0, this, [this] { m_keyring.thaw(); });
        QCOMPARE(waitForTask(helper.credential(account, builtIn)), builtIn);
        QTRY_COMPARE_WITH_TIMEOUT(waitForTask(helper.credential(account, builtIn)),
                                  QStringLiteral("sk-user"), 20'000);
        QCOMPARE(waitForTask(KeychainSecretStore().read(service, account)).data, "sk-user");
        QCOMPARE(store->writes, 0);
    }

    void keyringLocked()
    {
        QCOMPARE(m_keyring.lockCollection(), QString());
        auto store = std::make_shared<WatchedStore>(10s);
        KeychainHelper helper(service, store);
        QCOMPARE(waitForTask(helper.load(account)).outcome, Outcome::locked);
        QVERIFY_THROWS_EXCEPTION(KeyringLockedError,
                                 waitForTask(helper.credential(account, QString())));
        QCOMPARE(waitForTask(helper.credential(account, builtIn)), builtIn);
        QCOMPARE(store->writes, 0);
    }

    // No collection yet: storing the built-in key opens a password dialog nobody answers. While
    // that write waits, the keyring is not written again.
    void keyringDialogHoldsNoCall()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY") ||
            !QFileInfo::exists(QStringLiteral("/usr/libexec/gcr-prompter"))) {
            QSKIP("needs an X display and gcr-prompter for the keyring's dialog");
        }
        QCOMPARE(m_keyring.deleteCollection(), QString());
        QCOMPARE(m_keyring.setActivationEnvironment(
                     {{QStringLiteral("DISPLAY"), qEnvironmentVariable("DISPLAY")},
                      {QStringLiteral("XAUTHORITY"), qEnvironmentVariable("XAUTHORITY")},
                      {QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1")}}),
                 QString());
        m_prompted = std::make_shared<WatchedStore>(10min);
        KeychainHelper helper(service, m_prompted);
        QCOMPARE(waitForTask(helper.credential(account, builtIn), 30s), builtIn);
        QTRY_VERIFY_WITH_TIMEOUT(QDBusConnection::sessionBus().interface()->isServiceRegistered(
                                     QStringLiteral("org.gnome.keyring.SystemPrompter")),
                                 30'000);
        QCOMPARE(m_prompted->running, 1);
        QCOMPARE(waitForTask(helper.credential(account, builtIn), 30s), builtIn);
        QCOMPARE(m_prompted->writes, 1);
    }

    void cleanupTestCase()
    {
        m_keyring.thaw();
        if (m_prompted) {
            QVERIFY(m_keyring.closePrompt());
            QTRY_COMPARE_WITH_TIMEOUT(m_prompted->running, 0, 30'000);
        }
    }

private:
    PrivateKeyring m_keyring;
    QString m_keyringError;
    std::shared_ptr<WatchedStore> m_prompted;
    std::shared_ptr<FakeSecretStore> m_store;
    std::unique_ptr<KeychainHelper> m_helper;
};

QTEST_GUILESS_MAIN(TestKeychainHelper)
#include "tst_keychainhelper.moc"
