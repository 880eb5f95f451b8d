#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QString>

#include <optional>

// The user's credential store, addressed by (service, account).
//
// Every failure of the store (no store running, store locked, access refused, broken reply)
// counts as "absent": read gives nothing, write and remove give false. No call blocks the
// calling thread and none opens a nested event loop; the coroutines finish when the backend
// answers or gives up.
class SecretStore
{
public:
    virtual ~SecretStore() = default;

    virtual QCoro::Task<std::optional<QByteArray>> read(QString service, QString account) = 0;
    virtual QCoro::Task<bool> write(QString service, QString account, QByteArray data) = 0;
    // True when no item is left afterwards, also when there never was one.
    virtual QCoro::Task<bool> remove(QString service, QString account) = 0;
};
