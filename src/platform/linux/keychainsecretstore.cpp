#include "keychainsecretstore.h"

#include <QCoro/QCoroDBusPendingCall>
#include <QCoro/QCoroSignal>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingReply>
#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QPointer>
#include <QScopedPointer>

#include <qt6keychain/keychain.h>

#include <algorithm>
#include <memory>

// Why ten seconds of patience. Measured on Debian 12 (gnome-keyring 42, libsecret 0.20,
// QtKeychain 0.13): an unlocked keyring answers in 1-20 ms, 20-50 ms when D-Bus has to start
// gnome-keyring first. With no session bus, or a bus without any Secret Service, the error is
// back within 5 ms, and a locked keyring with no display for its prompt fails within 50 ms.
// What never comes back: a locked keyring whose unlock prompt nobody answers, and libsecret
// when Qt runs without the GLib event loop (QT_NO_GLIB=1). A Secret Service that D-Bus fails to
// start takes 25 s, on every call. Ten seconds is far beyond any healthy answer, well short of
// those 25 s, and still leaves someone at the desktop the time to type the password into an
// unlock prompt that pops up.

namespace {

Q_LOGGING_CATEGORY(lcKeyring, "quenzal.keyring", QtWarningMsg)

// Released with deleteLater(): calls waiting for their turn are woken by the job's finished()
// through queued calls addressed to the job, and deleting it at once would drop them.
template <typename Job> using OwnedJob = std::unique_ptr<Job, QScopedPointerDeleteLater>;

// QtKeychain runs one job at a time for the whole process and queues the rest. Taking turns
// ourselves means that a call which runs out of patience holds either a job that never started,
// which can simply go, or the one job QtKeychain is running, which must not (see finish()).
QPointer<QKeychain::Job> s_running;

std::chrono::milliseconds remainingTime(const QDeadlineTimer &deadline)
{
    return std::chrono::ceil<std::chrono::milliseconds>(deadline.remainingTimeAsDuration());
}

// Set on a job whose caller stopped waiting for it: the keyring has not answered it yet.
const char *const orphanProperty = "quenzalOrphan";

// True once no job of ours is running, false when the deadline comes first. A keyring that has
// left an earlier job unanswered is not waited for again: every call would otherwise cost the
// whole patience for as long as it stays frozen or its prompt stays open.
QCoro::Task<bool> takeTurn(QDeadlineTimer deadline)
{
    while (s_running) {
        if (deadline.hasExpired() || s_running->property(orphanProperty).toBool()) {
            co_return false;
        }
        co_await qCoro(s_running.data(), &QKeychain::Job::finished, remainingTime(deadline));
    }
    co_return true;
}

// Runs the job and hands it back once it has finished, or nothing when the deadline passes
// first. The backend holds a plain pointer into a running job and QtKeychain cannot cancel it,
// so a job we stop waiting for is left to delete itself whenever the backend does answer. For a
// prompt nobody answers that is never: a few hundred bytes lost rather than a use after free.
template <typename Job>
QCoro::Task<OwnedJob<Job>> finish(OwnedJob<Job> job, QDeadlineTimer deadline)
{
    if (!co_await takeTurn(deadline)) {
        qCDebug(lcKeyring) << "keyring still busy with an earlier request, giving up";
        co_return OwnedJob<Job>();
    }

    Job *const running = job.get();
    s_running = running;
    // A direct connection, so the turn is free before anyone woken by the same signal looks.
    QObject::connect(running, &QKeychain::Job::finished, running, [running] {
        if (s_running == running) {
            s_running = nullptr;
        }
    });
    running->start();
    co_await qCoro(running, &QKeychain::Job::finished, remainingTime(deadline));

    if (s_running == running) {
        qCWarning(lcKeyring) << "the keyring did not answer in time (a locked keyring waiting"
                                " for its password?); going on without it";
        Job *const orphan = job.release();
        orphan->setProperty(orphanProperty, true);
        orphan->setAutoDelete(true);
        co_return OwnedJob<Job>();
    }
    co_return job;
}

template <typename Job> OwnedJob<Job> makeJob(const QString &service, const QString &account)
{
    OwnedJob<Job> job(new Job(service));
    job->setAutoDelete(false);
    // The fallback would keep the secret in a plain settings file when no keyring answers.
    job->setInsecureFallback(false);
    job->setKey(account);
    return job;
}

bool succeeded(const QKeychain::Job &job)
{
    if (job.error() == QKeychain::NoError) {
        return true;
    }
    qCDebug(lcKeyring) << "keyring error" << job.error() << job.errorString();
    return false;
}

// QtKeychain reports an item in a locked Secret Service collection as not found once the unlock
// prompt fails or is dismissed. The Secret Service itself tells locked items apart: they are
// found by their attributes (QtKeychain's "user" and "server") without being unlocked.
QCoro::Task<bool> hasLockedItem(QString service, QString account, QDeadlineTimer deadline)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || deadline.hasExpired()) {
        co_return false;
    }
    static const QMetaType registered = qDBusRegisterMetaType<QMap<QString, QString>>();
    Q_UNUSED(registered);
    QDBusMessage search = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("SearchItems"));
    const QMap<QString, QString> attributes{{QStringLiteral("user"), account},
                                            {QStringLiteral("server"), service}};
    search << QVariant::fromValue(attributes);
    // Never start a Secret Service that is not running: KWallet may be the keyring in use.
    search.setAutoStartService(false);
    const QDBusMessage answer =
        co_await bus.asyncCall(search, int(std::max<qint64>(1, deadline.remainingTime())));
    const QDBusPendingReply<QList<QDBusObjectPath>, QList<QDBusObjectPath>> reply = answer;
    co_return reply.isValid() && reply.argumentAt<0>().isEmpty() &&
        !reply.argumentAt<1>().isEmpty();
}

} // namespace

KeychainSecretStore::KeychainSecretStore(std::chrono::milliseconds patience)
    : m_patience(patience)
{}

QCoro::Task<SecretStore::ReadResult> KeychainSecretStore::read(QString service, QString account)
{
    const QDeadlineTimer deadline(m_patience);
    const auto job =
        co_await finish(makeJob<QKeychain::ReadPasswordJob>(service, account), deadline);
    if (!job) {
        co_return ReadResult{Outcome::unavailable};
    }
    if (job->error() == QKeychain::EntryNotFound) {
        co_return ReadResult{co_await hasLockedItem(service, account, deadline) ? Outcome::locked
                                                                                : Outcome::absent};
    }
    if (!succeeded(*job)) {
        co_return ReadResult{Outcome::unavailable};
    }
    co_return ReadResult{Outcome::found, job->binaryData()};
}

QCoro::Task<bool> KeychainSecretStore::write(QString service, QString account, QByteArray data)
{
    const QDeadlineTimer deadline(m_patience);
    auto job = makeJob<QKeychain::WritePasswordJob>(service, account);
    // KWallet takes null data as "remove the entry"; an empty secret is still a secret.
    job->setBinaryData(data.isNull() ? QByteArray("") : data);
    job = co_await finish(std::move(job), deadline);
    co_return job != nullptr &&succeeded(*job);
}

QCoro::Task<bool> KeychainSecretStore::remove(QString service, QString account)
{
    const QDeadlineTimer deadline(m_patience);
    const auto job =
        co_await finish(makeJob<QKeychain::DeletePasswordJob>(service, account), deadline);
    if (!job) {
        co_return false;
    }
    // libsecret reports removing nothing as success, other backends may say "not found". Note
    // that libsecret only looks among unlocked items: on a locked keyring it reports success
    // and the item stays, to reappear once the keyring is unlocked.
    co_return job->error() == QKeychain::EntryNotFound || succeeded(*job);
}

bool KeychainSecretStore::isServiceAvailable()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) {
        return false;
    }
    const QStringList keyrings{QStringLiteral("org.freedesktop.secrets"),
                               QStringLiteral("org.kde.kwalletd6"),
                               QStringLiteral("org.kde.kwalletd5")};
    QStringList names = bus.interface()->registeredServiceNames().value();
    names += bus.interface()->activatableServiceNames().value();
    return std::any_of(keyrings.cbegin(), keyrings.cend(),
                       [&names](const QString &name) { return names.contains(name); });
}
