#include "keychainhelper.h"

#include "deployment.h"
#include "keychainsecretstore.h"
#include "secretstore.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

std::optional<QString> decodeUtf8Strictly(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

} // namespace

KeychainHelper::KeychainHelper(QString service, std::shared_ptr<SecretStore> store)
    : m_service(std::move(service))
    , m_store(std::move(store))
{}

KeychainHelper &KeychainHelper::shared()
{
    static KeychainHelper helper(Deployment::appId(), std::make_shared<KeychainSecretStore>());
    return helper;
}

QCoro::Task<std::optional<QString>> KeychainHelper::load(QString key)
{
    const std::optional<QByteArray> data = co_await m_store->read(m_service, key);
    if (!data) {
        co_return std::nullopt;
    }
    co_return decodeUtf8Strictly(*data);
}

QCoro::Task<bool> KeychainHelper::save(QString text, QString key)
{
    // A string with unpaired surrogates has no faithful UTF-8 form; storing a mangled
    // credential would be worse than storing none.
    QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    const QByteArray data = encoder.encode(text);
    if (encoder.hasError()) {
        co_return false;
    }
    // Written over the old item, never after deleting it: a keyring that refuses the write
    // (locked, full, gone) would otherwise lose the user's key.
    co_return co_await m_store->write(m_service, key, data);
}

QCoro::Task<bool> KeychainHelper::remove(QString key)
{
    co_return co_await m_store->remove(m_service, key);
}

QCoro::Task<QString> KeychainHelper::credential(QString key, QString builtIn)
{
    const std::optional<QString> stored = co_await load(key);
    if (stored && !stored->isEmpty()) {
        co_return *stored;
    }
    // Writing an empty value would gain nothing and, on a desktop without a keyring yet, make
    // the keyring ask the user to create one in the middle of a translation.
    if (!builtIn.isEmpty()) {
        co_await save(builtIn, key);
    }
    co_return builtIn;
}

QCoro::Task<QString> KeychainHelper::deepSeekApiKey()
{
    return credential(deepSeekApiKeyName, builtInDeepSeekApiKey());
}

QCoro::Task<QString> KeychainHelper::telegramBotToken()
{
    return credential(telegramBotTokenName, builtInTelegramBotToken());
}

QString KeychainHelper::deobfuscate(QByteArrayView bytes, quint8 key)
{
    QByteArray plain(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        plain[i] = char(quint8(bytes[i]) ^ key);
    }
    return decodeUtf8Strictly(plain).value_or(QString());
}

QString KeychainHelper::builtInDeepSeekApiKey()
{
    return deobfuscate(Deployment::deepSeekKeyBytes(), Deployment::deepSeekKeyByte());
}

QString KeychainHelper::builtInTelegramBotToken()
{
    return deobfuscate(Deployment::telegramTokenBytes(), Deployment::telegramTokenByte());
}
