#pragma once

#include "secretstore.h"

#include <QHash>
#include <QTest>

// An in-memory keyring. A `readOutcome` other than `found` makes every read give that outcome.
class FakeSecretStore : public SecretStore
{
public:
    QCoro::Task<ReadResult> read(QString service, QString account) override
    {
        const auto it = items.constFind({service, account});
        co_return readOutcome != Outcome::found ? ReadResult{readOutcome}
        : it == items.cend()                    ? ReadResult{Outcome::absent}
                                                : ReadResult{Outcome::found, *it};
    }
    QCoro::Task<bool> write(QString service, QString account, QByteArray data) override
    {
        ++writes;
        if (writable) {
            items.insert({service, account}, data);
        }
        co_return writable;
    }
    QCoro::Task<bool> remove(QString service, QString account) override
    {
        items.remove({service, account});
        co_return true;
    }

    bool writable = true; // false: writes fail
    Outcome readOutcome = Outcome::found;
    QHash<QPair<QString, QString>, QByteArray> items;
    int writes = 0;
};

// Readable failures when QCOMPARE looks at what read() gave.
inline char *toString(const SecretStore::ReadResult &result)
{
    static const char *const names[] = {"found: ", "absent", "locked", "unavailable"};
    return QTest::toString(QByteArray(names[int(result.outcome)]) + result.data);
}
