#pragma once

#include "secretstore.h"

#include <chrono>

// The desktop keyring through QtKeychain: the Secret Service (gnome-keyring, KeePassXC, ...)
// and, on KDE Plasma 5, KWallet.
//
// Every call gives up after a fixed patience and then counts as "unavailable": an unlock prompt
// nobody answers, or a keyring that never replies, would otherwise leave it pending forever.
// Calls take turns, process-wide, as QtKeychain runs one request at a time; the patience covers
// the wait for the turn too, and while a call that ran out of patience is still unanswered, the
// next ones give up at once instead of waiting the whole patience again. For the main thread only,
// which must run Qt's GLib event loop (the default on Linux) for libsecret to answer at all.
class KeychainSecretStore : public SecretStore
{
public:
    // A healthy keyring answers in milliseconds, also when D-Bus has to start it first; see the
    // source for why the default is ten seconds.
    static constexpr std::chrono::milliseconds defaultPatience{10'000};

    explicit KeychainSecretStore(std::chrono::milliseconds patience = defaultPatience);

    // Whether the session bus has a keyring to talk to, running or startable on demand: the
    // Secret Service or KWallet. Asks the bus, so it blocks for a round trip or two.
    static bool isServiceAvailable();

    QCoro::Task<ReadResult> read(QString service, QString account) override;
    QCoro::Task<bool> write(QString service, QString account, QByteArray data) override;
    QCoro::Task<bool> remove(QString service, QString account) override;

private:
    std::chrono::milliseconds m_patience;
};
