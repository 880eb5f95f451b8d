// Credentials against a real gnome-keyring that misbehaves as keyrings do: frozen, locked, or
// asking the user to create a collection first. The keyring runs on a bus of its own.
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

// The real keyring, with the writes that reach it counted.
class WatchedStore : public KeychainSecretStore
{
public:
    using KeychainSecretStore::KeychainSecretStore;
    QCoro::Task<bool> write(QString service, QString account, QByteArray data) override
    {
        ++writes;
        ++writesRunning;
        const bool written = co_await KeychainSecretStore::write(service, account, data);
        --writesRunning;
        co_return written;
    }

    int writes = 0;
    int writesRunning = 0;
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

    // A keyring that stops answering costs its patience once; until it answers the earlier
    // call, later ones do not wait for it again. The built-in key goes into the keyring only
    // where the keyring said it has none: the late answer leaves the user's key there.
    void frozenKeyringIsWaitedForOnce()
    {
        auto store = std::make_shared<WatchedStore>(1s);
        KeychainHelper helper(service, store);
        QVERIFY(m_keyring.freeze());
        QCOMPARE(waitForTask(helper.credential(account, builtIn)), builtIn);
        // Had the next call waited for its turn, the keyring would have answered it with the
        // user's key in the meantime.
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
        QCOMPARE(waitForTask(helper.load(QStringLiteral("never_stored"))).outcome,
                 SecretStore::Outcome::absent);
        QVERIFY_THROWS_EXCEPTION(KeyringLockedError,
                                 waitForTask(helper.credential(account, QString())));
        QCOMPARE(waitForTask(helper.credential(account, builtIn)), builtIn);
        QCOMPARE(store->writes, 0);
    }

    // A desktop without a keyring collection yet: storing the built-in key makes the keyring
    // ask the user for a password for a new one. Nobody answers here.
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
        QCOMPARE(m_prompted->writesRunning, 1);
        QCOMPARE(waitForTask(helper.credential(account, builtIn), 30s), builtIn);
        QCOMPARE(m_prompted->writes, 1);
    }

    void cleanupTestCase()
    {
        m_keyring.thaw();
        if (m_prompted) {
            // The write behind the dialog ends with the dialog.
            QVERIFY(m_keyring.closePrompt());
            QTRY_COMPARE_WITH_TIMEOUT(m_prompted->writesRunning, 0, 30'000);
        }
    }

private:
    PrivateKeyring m_keyring;
    std::shared_ptr<WatchedStore> m_prompted;
};

QTEST_GUILESS_MAIN(TestKeyringFaults)
#include "tst_keyringfaults.moc"
