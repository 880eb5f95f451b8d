#pragma once

#include <QByteArrayView>
#include <QCoro/QCoroTask>
#include <QString>

#include <memory>
#include <optional>

class SecretStore;

// The product's credentials in the user's keyring: items addressed by (service, key name),
// holding the UTF-8 text of the credential. Keyring failures never surface: a failed load is an
// absent item, a failed save is reported only through the result.
class KeychainHelper
{
public:
    static inline const QString deepSeekApiKeyName = QStringLiteral("deepseek_api_key");
    static inline const QString telegramBotTokenName = QStringLiteral("telegram_bot_token");

    KeychainHelper(QString service, std::shared_ptr<SecretStore> store);

    // Service = the application id, store = the desktop's keyring.
    static KeychainHelper &shared();

    QString service() const { return m_service; }

    QCoro::Task<std::optional<QString>> load(QString key);
    // Replaces the item; true exactly when the new value was written. A failed write leaves
    // the old value in place.
    QCoro::Task<bool> save(QString text, QString key);
    // True when the item is gone afterwards, also when it never existed.
    QCoro::Task<bool> remove(QString key);

    // The stored credential when it is not empty; otherwise `builtIn`, which is written back to
    // the keyring when it is not empty itself (the result of that write is ignored). Evaluated
    // afresh on every call.
    QCoro::Task<QString> credential(QString key, QString builtIn);
    QCoro::Task<QString> deepSeekApiKey();
    QCoro::Task<QString> telegramBotToken();

    // Each byte XOR `key`, decoded as UTF-8; the empty string when the result is not UTF-8.
    static QString deobfuscate(QByteArrayView bytes, quint8 key);
    static QString builtInDeepSeekApiKey();
    static QString builtInTelegramBotToken();

private:
    QString m_service;
    std::shared_ptr<SecretStore> m_store;
};
