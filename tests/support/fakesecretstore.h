#pragma once

#include "secretstore.h"

#include <QHash>
#include <QPair>
#include <QPromise>

#include <memory>

// An in-memory keyring. `readOutcome` other than `found` makes every read give that outcome
// (a locked keyring, one that does not answer); with `available` false it behaves like a
// desktop without a keyring: nothing is read, nothing can be written or removed.
class FakeSecretStore : public SecretStore
{
public:
    QCoro::Task<ReadResult> read(QString service, QString account) override;
    QCoro::Task<bool> write(QString service, QString account, QByteArray data) override;
    QCoro::Task<bool> remove(QString service, QString account) override;

    // Lets the writes held so far finish.
    void releaseWrites();

    bool available = true;
    bool writable = true;    // false: reads and removals work, writes fail
    bool holdWrites = false; // true: a write finishes only at releaseWrites()
    Outcome readOutcome = Outcome::found;
    QHash<QPair<QString, QString>, QByteArray> items;
    int reads = 0;
    int writes = 0;
    int removes = 0;

private:
    // The writes held so far wait for its future; made at the first of them.
    std::unique_ptr<QPromise<void>> m_release;
};

// Readable failures when QCOMPARE looks at what read() gave.
char *toString(const SecretStore::ReadResult &result);
