#include "fakesecretstore.h"

#include <QCoro/QCoroSignal>
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
        m_release.setSingleShot(true);
        co_await qCoro(&m_release, &QTimer::timeout);
    }
    if (!available || !writable) {
        co_return false;
    }
    items.insert({service, account}, data);
    co_return true;
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
