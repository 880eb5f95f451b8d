#include "translationcache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cstdio>

#include <unistd.h>

namespace {

void printToStandardOutput(const QString &line)
{
    std::fprintf(stdout, "%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// The translations in a cache file; nothing when there is no file or it is not one of ours (not
// an object of strings, or too large).
std::optional<QHash<QString, QString>> readFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > TranslationCache::maxFileSize) {
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return TranslationCache::decode(file.readAll());
}

// Replaces the file at `path` with `bytes` in one step, or leaves it untouched: the bytes go
// into a new file beside it, which is renamed over the old one only once it is complete and on
// disk. A link in the file's place is replaced itself; what it points to is never written.
bool replaceFile(const QString &path, const QByteArray &bytes)
{
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!file.open()) {
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.flush() || ::fsync(file.handle()) != 0) {
        return false;
    }
    if (::rename(QFile::encodeName(file.fileName()).constData(),
                 QFile::encodeName(path).constData()) != 0) {
        return false;
    }
    file.setAutoRemove(false);
    return true;
}

} // namespace

TranslationCache::TranslationCache(const QString &folder, LogSink log)
    : m_filePath(folder + QStringLiteral("/translations.json"))
{
    // One writer thread keeps the writes in order; a queued write takes every store before it.
    m_writer.setMaxThreadCount(1);
    QDir().mkpath(folder);
    m_log = log ? std::move(log) : printToStandardOutput;
}

TranslationCache::~TranslationCache()
{
    waitForPendingWrites();
    bool unwritten = false;
    {
        const QMutexLocker locker(&m_lock);
        unwritten = m_unwritten;
    }
    if (unwritten) {
        writePending();
    }
}

QString TranslationCache::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Quenzal");
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

std::optional<QHash<QString, QString>> TranslationCache::decode(const QByteArray &bytes)
{
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    QHash<QString, QString> translations;
    translations.reserve(object.size());
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (!it.value().isString()) {
            return std::nullopt;
        }
        translations.insert(it.key(), it.value().toString());
    }
    return translations;
}

std::optional<QString> TranslationCache::get(const QString &key) const
{
    const QMutexLocker locker(&m_lock);
    loadOnce();
    const auto it = m_store.constFind(key);
    if (it == m_store.cend()) {
        return std::nullopt;
    }
    return it->value;
}

void TranslationCache::set(const QString &key, const QString &value)
{
    if (value.size() > maxValueLength) {
        return;
    }
    {
        const QMutexLocker locker(&m_lock);
        loadOnce();
        m_store.insert(key, {value, ++m_clock});
        m_evicted.remove(key);
        for (const QString &evicted : bound(m_store)) {
            m_evicted.insert(evicted);
        }
        m_unwritten = true;
    }
    persist();
}

qsizetype TranslationCache::count() const
{
    const QMutexLocker locker(&m_lock);
    loadOnce();
    return m_store.size();
}

QList<QString> TranslationCache::bound(Store &store)
{
    QList<QString> evicted;
    while (store.size() > maxEntries) {
        const auto oldest =
            std::min_element(store.cbegin(), store.cend(),
                             [](const Entry &a, const Entry &b) { return a.age < b.age; });
        evicted.append(oldest.key());
        store.erase(oldest);
    }
    return evicted;
}

void TranslationCache::loadOnce() const
{
    if (std::exchange(m_loaded, true)) {
        return;
    }
    const std::optional<QHash<QString, QString>> translations = readFile(m_filePath);
    if (!translations) {
        return;
    }
    for (auto it = translations->cbegin(); it != translations->cend(); ++it) {
        m_store.insert(it.key(), {it.value(), ++m_clock});
    }
    m_log(QStringLiteral("[Cache] Loaded %1 cached translations").arg(translations->size()));
}

void TranslationCache::persist()
{
    const QMutexLocker locker(&m_lock);
    if (!m_writeQueued) {
        m_writeQueued = true;
        m_writer.start([this] { writePending(); });
    }
}

void TranslationCache::writePending()
{
    Store merged;
    QSet<QString> evicted;
    {
        const QMutexLocker locker(&m_lock);
        m_writeQueued = false;
        merged = m_store; // shares the data; the next change of the store detaches
        evicted = std::exchange(m_evicted, {});
        m_unwritten = false;
    }
    const auto giveUp = [this, &evicted] {
        const QMutexLocker locker(&m_lock);
        m_evicted.unite(evicted);
        m_unwritten = true;
    };

    // The folder may have been removed since start-up.
    QDir().mkpath(QFileInfo(m_filePath).path());
    QLockFile lock(m_filePath + QStringLiteral(".lock"));
    if (!lock.tryLock(int(lockPatience.count()))) {
        giveUp();
        return;
    }
    // What other processes stored meanwhile is kept, as newer than anything here.
    quint64 newest = 0;
    for (const Entry &entry : std::as_const(merged)) {
        newest = std::max(newest, entry.age);
    }
    const Store snapshot = merged;
    if (const auto onDisk = readFile(m_filePath)) {
        for (auto it = onDisk->cbegin(); it != onDisk->cend(); ++it) {
            if (!merged.contains(it.key()) && !evicted.contains(it.key()) &&
                it.value().size() <= maxValueLength) {
                merged.insert(it.key(), {it.value(), ++newest});
            }
        }
    }
    const QList<QString> dropped = bound(merged);

    QJsonObject object;
    for (auto it = merged.cbegin(); it != merged.cend(); ++it) {
        object.insert(it.key(), it.value().value);
    }
    if (!replaceFile(m_filePath, QJsonDocument(object).toJson(QJsonDocument::Compact))) {
        giveUp();
        return;
    }
    lock.unlock();

    // The store learns what the file now holds, unless it changed meanwhile.
    const QMutexLocker locker(&m_lock);
    for (auto it = merged.cbegin(); it != merged.cend(); ++it) {
        if (!snapshot.contains(it.key()) && !m_store.contains(it.key()) &&
            !m_evicted.contains(it.key())) {
            m_store.insert(it.key(), {it.value().value, ++m_clock});
        }
    }
    for (const QString &key : dropped) {
        const auto it = m_store.constFind(key);
        if (it != m_store.cend() && it->age == snapshot.value(key).age) {
            m_store.erase(it);
        }
    }
}

void TranslationCache::waitForPendingWrites()
{
    m_writer.waitForDone();
}
