#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QString>

// The user's credential store, addressed by (service, account).
//
// A read tells an absent item apart from a store that could not answer (no store running,
// locked, refused, timed out), so that nobody writes over an item just because it could not be
// read. Writes and removals give false on any failure. No call blocks the calling thread and
// none opens a nested event loop; the coroutines finish when the backend answers or gives up.
class SecretStore
{
public:
    enum class Outcome {
        found,       // the item is there; `data` holds it
        absent,      // the store answered: there is no such item
        locked,      // there is such an item, but the store is locked and was not unlocked
        unavailable, // no store, an error, or no answer in time: nothing is known
    };
    struct ReadResult
    {
        Outcome outcome = Outcome::unavailable;
        QByteArray data{};

        bool operator==(const ReadResult &) const = default;
    };

    virtual ~SecretStore() = default;

    virtual QCoro::Task<ReadResult> read(QString service, QString account) = 0;
    virtual QCoro::Task<bool> write(QString service, QString account, QByteArray data) = 0;
    // True when no item is left afterwards, also when there never was one.
    virtual QCoro::Task<bool> remove(QString service, QString account) = 0;
};
