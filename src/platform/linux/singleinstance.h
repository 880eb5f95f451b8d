#pragma once

#include <QString>

#include <memory>

class QLockFile;

// Makes sure only one copy of the app runs per user: a lock file named after the application
// id in the user's runtime folder, held for the life of the object. The lock of a copy that
// crashed is taken over, however recent.
class SingleInstance
{
public:
    enum class Result {
        acquired,       // this is the only copy
        alreadyRunning, // another live copy holds the lock
        unavailable,    // no folder would take the lock file; the caller runs unguarded
    };

    // `directory` defaults to the runtime folder ($XDG_RUNTIME_DIR); when that cannot hold the
    // lock the temporary folder is tried.
    explicit SingleInstance(const QString &appId, const QString &directory = {});
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    Result acquire();
    QString lockFilePath() const;
    // After acquire() found another copy: its process id, 0 when the lock does not say.
    qint64 runningProcessId() const;

private:
    Result tryDirectory(const QString &directory);

    QString m_appId;
    QString m_directory;
    std::unique_ptr<QLockFile> m_lock;
    QString m_heldLockPath; // the lock another copy holds
};
