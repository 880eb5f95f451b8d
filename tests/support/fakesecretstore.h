#pragma once

#include "secretstore.h"

#include <QCoro/QCoroFuture>
#include <QHash>
#include <QPromise>
#include <QTest>

#include <memory>

// An in-memory keyring. A `readOutcome` other than `found` makes every read give that outcome.
class FakeSecretStore : public SecretStore
{
public:
    QCoro::Task<ReadResult> read(QString service, QString account) override
    {
        ++reads;
        const auto it = items.constFind({service, account});
        co_return readOutcome != Outcome::found ? ReadResult{readOutcome}
        : it == items.cend()                    ? ReadResult{Outcome::absent}
                                                : ReadResult{Outcome::found, *it};
    }
    QCoro::Task<bool> write(QString service, QString account, QByteArray data) override
    {
        ++writes;
        if (holdWrites) { // a promise: QCoro 0.8 awaiting a signal trips UBSan
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
        if (writable) {
            items.insert({service, account}, data);
        }
        co_return writable;
    }
    QCoro::Task<bool> remove(QString service, QString account) override
    {
        ++removes;
        items.remove({service, account});
        co_return true;
    }
    void releaseWrites() // lets the writes held so far finish
    {
        if (auto release = std::move(m_release)) {
            release->finish();
        }
    }

    bool writable = true;    // false: writes fail
    bool holdWrites = false; // true: a write finishes only at releaseWrites()
    Outcome readOutcome = Outcome::found;
    QHash<QPair<QString, QString>, QByteArray> items;
    int reads = 0;
    int writes = 0;
    int removes = 0;

private:
    std::unique_ptr<QPromise<void>> m_release;
};

// Readable failures when QCOMPARE looks at what read() gave.
inline char *toString(const SecretStore::ReadResult &result)
{
    static const char *const names[] = {"found: ", "absent", "locked", "unavailable"};
    return QTest::toString(QByteArray(names[int(result.outcome)]) + result.data);
}
