#pragma once

#include "secretstore.h"

#include <QByteArrayView>
#include <QCoro/QCoroTask>
#include <QHash>
#include <QString>

#include <memory>
#include <optional>

// The product's credentials in the user's keyring: items addressed by (service, key name),
// holding the UTF-8 text of the credential. Keyring failures do not surface, with one exception:
// a credential that is there but locked away, with nothing else to use (KeyringLockedError).
// The helper must outlive the calls made on it; background writes it starts need not.
class KeychainHelper
{
public:
    struct Lookup
    {
        // `found` only for an item that holds UTF-8 text; an item that does not counts as absent.
        SecretStore::Outcome outcome = SecretStore::Outcome::unavailable;
        QString text{};

        std::optional<QString> value() const;
    };

    static inline const QString deepSeekApiKeyName = QStringLiteral("deepseek_api_key");
    static inline const QString telegramBotTokenName = QStringLiteral("telegram_bot_token");

    KeychainHelper(QString service, std::shared_ptr<SecretStore> store);

    QString service() const { return m_service; }

    QCoro::Task<Lookup> load(QString key);
    // Replaces the item; true exactly when the new value was written. A failed write leaves
    // the old value in place.
    QCoro::Task<bool> save(QString text, QString key);
    // True when the item is gone afterwards, also when it never existed.
    QCoro::Task<bool> remove(QString key);

    // The stored credential when it is not empty. When the keyring says it has none (or an empty
    // one), `builtIn`, which is then written back in the background, never awaited: a keyring
    // that asks the user to create a collection first must not hold up a translation. A write
    // that the keyring refused (or whose dialog was cancelled) is not tried again by this helper.
    // When the keyring cannot be read (no answer, an error, locked), the value last read in this
    // run, else `builtIn`, and nothing is written: the item may well be there. A locked item with
    // neither throws KeyringLockedError. Read afresh on every call, so a key changed by another
    // program counts from the next call on.
    QCoro::Task<QString> credential(QString key, QString builtIn);
    QCoro::Task<QString> deepSeekApiKey();
    QCoro::Task<QString> telegramBotToken();

    // Each byte XOR `key`, decoded as UTF-8; the empty string when the result is not UTF-8.
    static QString deobfuscate(QByteArrayView bytes, quint8 key);
    static QString builtInDeepSeekApiKey();
    static QString builtInTelegramBotToken();

private:
    struct Memory
    {
        std::optional<QString> lastRead;
        bool writeBackRefused = false;
        bool writeBackRunning = false;
    };
    using Memories = QHash<QString, Memory>;

    static QCoro::Task<> writeBack(std::shared_ptr<SecretStore> store,
                                   std::shared_ptr<Memories> memories, QString service, QString key,
                                   QString text);

    QString m_service;
    std::shared_ptr<SecretStore> m_store;
    std::shared_ptr<Memories> m_memories = std::make_shared<Memories>();
};
