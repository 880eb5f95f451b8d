#include "fakesecretstore.h"

QCoro::Task<std::optional<QByteArray>> FakeSecretStore::read(QString service, QString account)
{
    ++reads;
    const auto it = items.constFind({service, account});
    if (!available || it == items.cend()) {
        co_return std::nullopt;
    }
    co_return *it;
}

QCoro::Task<bool> FakeSecretStore::write(QString service, QString account, QByteArray data)
{
    ++writes;
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
