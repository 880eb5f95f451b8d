// Credentials against a real gnome-keyring, on a bus of its own, frozen, locked or prompting.
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

namespace {

const QString service = QStringLiteral("org.quenzal.KeyringFaults");
const QString account = QStringLiteral("deepseek_api_key");
const QString builtIn = QStringLiteral("sk-builtin");

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

class TestKeyringFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!PrivateKeyring::isInstalled() && !qEnvironmentVariableIsSet("QUENZAL_TEST_KEYRING")) {
            QSKIP("needs dbus-daemon and gnome-keyring-daemon");
        }
        const QString error = m_keyring.start(PrivateKeyring::Collection::unlocked,
                                              {QStringLiteral("org.gnome.keyring.SystemPrompter")});
        QVERIFY2(error.isEmpty(), qPrintable(error));
        KeychainSecretStore store;
        QVERIFY(waitForTask(store.write(service, account, "sk-user")));
    }

    // A frozen keyring is waited for once, and its late answer leaves the user's key stored.
    void frozenKeyringIsWaitedForOnce()
    {
        auto store = std::make_shared<WatchedStore>(1s);
        KeychainHelper helper(service, store);
        QVERIFY(m_keyring.freeze());
        QCOMPARE(waitForTask(helper.credential(account, builtIn)), builtIn);
        QTimer::singleShot(0, this, [this] { m_keyring.thaw(); });
        QCOMPARE(waitForTask(helper.credential(account, builtIn)), builtIn);
        QTRY_COMPARE_WITH_TIMEOUT(waitForTask(helper.credential(account, builtIn)),
                                  QStringLiteral("sk-user"), 20'000);
        KeychainSecretStore reader;
        QCOMPARE(waitForTask(reader.read(service, account)).data, QByteArray("sk-user"));
        QCOMPARE(store->writes, 0);
    }

    void lockedKeyringIsNamed()
    {
        QVERIFY(m_keyring.lockCollection());
        auto store = std::make_shared<WatchedStore>(10s);
        KeychainHelper helper(service, store);
        QCOMPARE(waitForTask(helper.load(account)).outcome, SecretStore::Outcome::locked);
        QVERIFY_THROWS_EXCEPTION(KeyringLockedError,
                                 waitForTask(helper.credential(account, QString())));
        QCOMPARE(waitForTask(helper.credential(account, builtIn)), builtIn);
        QCOMPARE(store->writes, 0);
    }

    // No collection yet: storing the built-in key opens a password dialog nobody answers.
    void keyringDialogHoldsNoCall()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY") ||
            !QFileInfo::exists(QStringLiteral("/usr/libexec/gcr-prompter"))) {
            QSKIP("needs an X display and gcr-prompter for the keyring's dialog");
        }
        QVERIFY(m_keyring.deleteCollection());
        QVERIFY(m_keyring.setActivationEnvironment(
            {{QStringLiteral("DISPLAY"), qEnvironmentVariable("DISPLAY")},
             {QStringLiteral("XAUTHORITY"), qEnvironmentVariable("XAUTHORITY")},
             {QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1")}}));
        m_prompted = std::make_shared<WatchedStore>(10min);
        KeychainHelper helper(service, m_prompted);
        QCOMPARE(waitForTask(helper.credential(account, builtIn), 30s), builtIn);
        QTRY_VERIFY_WITH_TIMEOUT(m_keyring.bus().interface()->isServiceRegistered(
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
    std::shared_ptr<WatchedStore> m_prompted;
};

QTEST_GUILESS_MAIN(TestKeyringFaults)
#include "tst_keyringfaults.moc"
