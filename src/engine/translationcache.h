#pragma once

#include <QHash>
#include <QMutex>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <optional>

// Finished translations by request key, at most 500, mirrored to one JSON object in
// <folder>/translations.json. Every store rewrites the whole file atomically on a worker
// thread from a snapshot; writes issued close together are coalesced and the newest snapshot
// always ends on disk. File and decoding failures are silent: the cache then behaves as an
// empty (or memory-only) cache and a bad file stays untouched until the next store.
// get() and set() are safe from any thread.
class TranslationCache
{
public:
    using LogSink = std::function<void(const QString &line)>;

    static constexpr int maxEntries = 500;
    // A larger file cannot be one we wrote; it is ignored rather than read into memory.
    static constexpr qint64 maxFileSize = 64 * 1024 * 1024;

    // Creates `folder` if needed and loads its translations.json. After a successful load,
    // "[Cache] Loaded N cached translations" goes to `log` (standard output by default).
    explicit TranslationCache(const QString &folder, LogSink log = {});
    // Waits for the pending write, so no stored translation is lost.
    ~TranslationCache();
    TranslationCache(const TranslationCache &) = delete;
    TranslationCache &operator=(const TranslationCache &) = delete;

    // The cache in <generic data location>/Quenzal, created on first use.
    static TranslationCache &shared();
    static QString defaultFolder();
    // Where shared() sends its load line; set it before the first use of shared().
    static void setSharedLogSink(LogSink log);

    // Lower-case hex SHA-256 of "source|target|text" (nothing escaped).
    static QString key(const QString &text, const QString &source, const QString &target);

    std::optional<QString> get(const QString &key) const;
    void set(const QString &key, const QString &value);
    qsizetype count() const;
    QString filePath() const { return m_filePath; }

    // Blocks until the file holds the newest snapshot. For process exit and tests.
    void waitForPendingWrites();

private:
    void load(const LogSink &log);
    void persist();
    void writePending();

    QString m_filePath;
    mutable QMutex m_lock; // guards m_store
    QHash<QString, QString> m_store;

    QMutex m_writeLock; // guards m_pending and m_writeQueued; taken before m_lock
    QHash<QString, QString> m_pending;
    bool m_writeQueued = false;
    QThreadPool m_writer;
};
