#include "translationcache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <cstdio>

namespace {

TranslationCache::LogSink &sharedLogSink()
{
    static TranslationCache::LogSink sink;
    return sink;
}

void printToStandardOutput(const QString &line)
{
    std::fprintf(stdout, "%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

} // namespace

TranslationCache::TranslationCache(const QString &folder, LogSink log)
    : m_filePath(folder + QStringLiteral("/translations.json"))
{
    // One writer thread keeps the writes in order; the pending snapshot coalesces bursts.
    m_writer.setMaxThreadCount(1);
    QDir().mkpath(folder);
    load(log ? log : printToStandardOutput);
}

TranslationCache::~TranslationCache()
{
    waitForPendingWrites();
}

TranslationCache &TranslationCache::shared()
{
    static TranslationCache cache(defaultFolder(), sharedLogSink());
    return cache;
}

QString TranslationCache::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Quenzal");
}

void TranslationCache::setSharedLogSink(LogSink log)
{
    sharedLogSink() = std::move(log);
}

QString TranslationCache::key(const QString &text, const QString &source, const QString &target)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(source.toUtf8());
    hash.addData(QByteArrayView("|"));
    hash.addData(target.toUtf8());
    hash.addData(QByteArrayView("|"));
    hash.addData(text.toUtf8());
    return QString::fromLatin1(hash.result().toHex());
}

std::optional<QString> TranslationCache::get(const QString &key) const
{
    const QMutexLocker locker(&m_lock);
    const auto it = m_store.constFind(key);
    if (it == m_store.cend()) {
        return std::nullopt;
    }
    return *it;
}

void TranslationCache::set(const QString &key, const QString &value)
{
    {
        const QMutexLocker locker(&m_lock);
        m_store.insert(key, value);
        // Any victims will do; the entry just stored is never one of them.
        for (auto it = m_store.begin(); m_store.size() > maxEntries;) {
            if (it.key() == key) {
                ++it;
            } else {
                it = m_store.erase(it);
            }
        }
    }
    persist();
}

qsizetype TranslationCache::count() const
{
    const QMutexLocker locker(&m_lock);
    return m_store.size();
}

void TranslationCache::load(const LogSink &log)
{
    const QFileInfo info(m_filePath);
    if (!info.isFile() || info.size() > maxFileSize) {
        return;
    }
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject()) {
        return;
    }
    const QJsonObject object = document.object();
    QHash<QString, QString> store;
    store.reserve(object.size());
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (!it.value().isString()) {
            return;
        }
        store.insert(it.key(), it.value().toString());
    }
    {
        const QMutexLocker locker(&m_lock);
        m_store = std::move(store);
    }
    log(QStringLiteral("[Cache] Loaded %1 cached translations").arg(object.size()));
}

void TranslationCache::persist()
{
    // The snapshot is taken under the write lock, so a later snapshot can never be replaced
    // by an earlier one from another thread.
    const QMutexLocker writeLocker(&m_writeLock);
    {
        const QMutexLocker locker(&m_lock);
        m_pending = m_store; // shares the data; the next change of the store detaches
    }
    if (!m_writeQueued) {
        m_writeQueued = true;
        m_writer.start([this] { writePending(); });
    }
}

void TranslationCache::writePending()
{
    QHash<QString, QString> snapshot;
    {
        const QMutexLocker locker(&m_writeLock);
        snapshot = std::move(m_pending);
        m_pending.clear();
        m_writeQueued = false;
    }
    QJsonObject object;
    for (auto it = snapshot.cbegin(); it != snapshot.cend(); ++it) {
        object.insert(it.key(), it.value());
    }
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact);

    // The folder may have been removed since start-up.
    QDir().mkpath(QFileInfo(m_filePath).path());
    QSaveFile file(m_filePath);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(bytes);
        file.commit();
    }
}

void TranslationCache::waitForPendingWrites()
{
    m_writer.waitForDone();
}
