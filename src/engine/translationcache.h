#pragma once

#include <QHash>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QThreadPool>

#include <chrono>
#include <functional>
#include <optional>

// Finished translations by request key, at most 500, mirrored to one JSON object in
// <folder>/translations.json, which every program of ours on the machine shares.
//
// Every store rewrites the file on a worker thread: under a lock file beside it, the file is
// read again, merged with what this process holds (so that entries other processes wrote stay,
// and entries this process evicted go), bounded to 500 by dropping the oldest, and replaced in
// one step (a new file renamed over the old one, never written through a link). A write that
// fails, short of disk space or of the lock, leaves the old file as it was; the entries stay in
// memory and go out with the next write. Bad files are ignored, never repaired: the cache then
// starts empty and the next store replaces the file. get() and set() are safe from any thread.
class TranslationCache
{
public:
    using LogSink = std::function<void(const QString &line)>;

    static constexpr int maxEntries = 500;
    // A larger file cannot be one we wrote; it is ignored rather than read into memory.
    static constexpr qint64 maxFileSize = 64 * 1024 * 1024;
    // A translation longer than this (in UTF-16 units) is not kept. It keeps the file loadable:
    // JSON takes at most six bytes per unit, so 500 of them stay under 50 MB.
    static constexpr qsizetype maxValueLength = 16 * 1024;
    // How long a write waits for another process's write before leaving it for the next store.
    static constexpr std::chrono::milliseconds lockPatience{1000};

    // Creates `folder` if needed. Its translations.json is read at the first use of the cache,
    // not before: a program may start long before its first translation. After a successful
    // load, "[Cache] Loaded N cached translations" goes to `log` (standard output by default).
    explicit TranslationCache(const QString &folder, LogSink log = {});
    // Waits for the pending write, and tries once more a write that could not take place.
    ~TranslationCache();
    TranslationCache(const TranslationCache &) = delete;
    TranslationCache &operator=(const TranslationCache &) = delete;

    // <generic data location>/Quenzal
    static QString defaultFolder();

    // Lower-case hex SHA-256 of "source|target|text" (nothing escaped).
    static QString key(const QString &text, const QString &source, const QString &target);
    // The translations in the bytes of a cache file: a JSON object of strings, else nothing.
    static std::optional<QHash<QString, QString>> decode(const QByteArray &bytes);

    std::optional<QString> get(const QString &key) const;
    void set(const QString &key, const QString &value);
    qsizetype count() const;
    QString filePath() const { return m_filePath; }

    // Blocks until the writes asked for so far have been done (or given up).
    void waitForPendingWrites();

private:
    struct Entry
    {
        QString value;
        quint64 age = 0; // larger is newer
    };
    using Store = QHash<QString, Entry>;

    // With m_lock held.
    void loadOnce() const;
    void persist();
    void writePending();
    // Drops the oldest entries beyond the bound; returns their keys.
    static QList<QString> bound(Store &store);

    QString m_filePath;
    LogSink m_log;
    mutable QMutex m_lock; // guards everything below but the writer
    mutable bool m_loaded = false;
    mutable Store m_store;
    mutable quint64 m_clock = 0;
    QSet<QString> m_evicted;  // dropped here since the last write, to be dropped from the file
    bool m_unwritten = false; // the file lacks what the store holds
    bool m_writeQueued = false;
    QThreadPool m_writer;
};
