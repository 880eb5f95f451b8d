#pragma once

#include "secretstore.h"

#include <QHash>
#include <QPair>

// An in-memory keyring. With `available` false it behaves like a desktop without a keyring:
// nothing is read, nothing can be written or removed.
class FakeSecretStore : public SecretStore
{
public:
    QCoro::Task<std::optional<QByteArray>> read(QString service, QString account) override;
    QCoro::Task<bool> write(QString service, QString account, QByteArray data) override;
    QCoro::Task<bool> remove(QString service, QString account) override;

    bool available = true;
    bool writable = true; // false: reads and removals work, writes fail
    QHash<QPair<QString, QString>, QByteArray> items;
    int reads = 0;
    int writes = 0;
    int removes = 0;
};
