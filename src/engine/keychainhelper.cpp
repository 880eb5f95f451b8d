#include "keychainhelper.h"

#include "deployment.h"
#include "keyringlockederror.h"

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

std::optional<QString> KeychainHelper::Lookup::value() const
{
    if (outcome != SecretStore::Outcome::found) {
        return std::nullopt;
    }
    return text;
}

QCoro::Task<KeychainHelper::Lookup> KeychainHelper::load(QString key)
{
    const SecretStore::ReadResult read = co_await m_store->read(m_service, key);
    if (read.outcome != SecretStore::Outcome::found) {
        co_return Lookup{read.outcome};
    }
    if (std::optional<QString> text = decodeUtf8Strictly(read.data)) {
        co_return Lookup{SecretStore::Outcome::found, std::move(*text)};
    }
    co_return Lookup{SecretStore::Outcome::absent};
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
    // Only locals after the first suspension: the memories outlive the helper if need be.
    const std::shared_ptr<Memories> memories = m_memories;
    const std::shared_ptr<SecretStore> store = m_store;
    const QString service = m_service;
    if ((*memories)[key].writeBackRunning) {
        // The keyring had none a moment ago and is still busy taking the built-in one (maybe
        // behind a dialog); asking it again would only queue behind that write.
        co_return builtIn;
    }
    const Lookup lookup = co_await load(key);
    Memory &memory = (*memories)[key];
    switch (lookup.outcome) {
    case SecretStore::Outcome::found:
        if (!lookup.text.isEmpty()) {
            memory.lastRead = lookup.text;
            co_return lookup.text;
        }
        [[fallthrough]];
    case SecretStore::Outcome::absent:
        memory.lastRead.reset();
        // Writing an empty value would gain nothing and, on a desktop without a keyring yet,
        // make the keyring ask the user to create one. A write that was refused or cancelled
        // is not tried again: the user said no once.
        if (!builtIn.isEmpty() && !memory.writeBackRefused) {
            memory.writeBackRunning = true;
            writeBack(store, memories, service, key, builtIn);
        }
        co_return builtIn;
    case SecretStore::Outcome::locked:
    case SecretStore::Outcome::unavailable:
        if (memory.lastRead) {
            // A copy: QCoro moves from what co_return names.
            co_return QString(*memory.lastRead);
        }
        if (builtIn.isEmpty() && lookup.outcome == SecretStore::Outcome::locked) {
            throw KeyringLockedError();
        }
        co_return builtIn;
    }
    Q_UNREACHABLE();
}

QCoro::Task<> KeychainHelper::writeBack(std::shared_ptr<SecretStore> store,
                                        std::shared_ptr<Memories> memories, QString service,
                                        QString key, QString text)
{
    const bool written = co_await store->write(service, key, text.toUtf8());
    Memory &memory = (*memories)[key];
    memory.writeBackRunning = false;
    memory.writeBackRefused = !written;
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
