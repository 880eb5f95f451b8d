#include "fakesecretstore.h"

#include <QCoro/QCoroFuture>
#include <QTest>

QCoro::Task<SecretStore::ReadResult> FakeSecretStore::read(QString service, QString account)
{
    ++reads;
    if (!available) {
        co_return ReadResult{Outcome::unavailable};
    }
    if (readOutcome != Outcome::found) {
        co_return ReadResult{readOutcome};
    }
    const auto it = items.constFind({service, account});
    if (it == items.cend()) {
        co_return ReadResult{Outcome::absent};
    }
    co_return ReadResult{Outcome::found, *it};
}

QCoro::Task<bool> FakeSecretStore::write(QString service, QString account, QByteArray data)
{
    ++writes;
    if (holdWrites) {
        // Not a signal: QCoro 0.8 binds a reference to the null that Qt passes for the private
        // tag of signals such as QTimer::timeout, which UndefinedBehaviorSanitizer rejects.
        if (!m_release) {
            m_release = std::make_unique<QPromise<void>>();
            m_release->start();
        }
        QFuture<void> released = m_release->future();
        co_await released;
        if (released.isCanceled()) {
            co_return false; // by the store's end: `this` is gone
        }
    }
    if (!available || !writable) {
        co_return false;
    }
    items.insert({service, account}, data);
    co_return true;
}

void FakeSecretStore::releaseWrites()
{
    if (m_release) {
        m_release->finish();
        m_release.reset();
    }
}

QCoro::Task<bool> FakeSecretStore::remove(QString service, QString account)
{
    ++removes;
    if (!available) {
        co_return false;
    }
    items.remove({service, account});
    co_return true;
}

char *toString(const SecretStore::ReadResult &result)
{
    switch (result.outcome) {
    case SecretStore::Outcome::found:
        return QTest::toString(QByteArray("found: ") + result.data);
    case SecretStore::Outcome::absent:
        return qstrdup("absent");
    case SecretStore::Outcome::locked:
        return qstrdup("locked");
    case SecretStore::Outcome::unavailable:
        return qstrdup("unavailable");
    }
    Q_UNREACHABLE();
}
