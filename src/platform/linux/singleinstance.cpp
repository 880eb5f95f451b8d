#include "singleinstance.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

#include <unistd.h>

SingleInstance::SingleInstance(const QString &appId, const QString &directory)
    : m_appId(appId)
    , m_directory(directory)
{}

SingleInstance::~SingleInstance() = default;

SingleInstance::Result SingleInstance::acquire()
{
    const QString runtime = m_directory.isEmpty()
                                ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
                                : m_directory;
    const Result result = tryDirectory(runtime);
    if (result != Result::unavailable || !m_directory.isEmpty()) {
        return result;
    }
    // Shared by every user, so the name carries ours.
    return tryDirectory(QDir::tempPath() + QStringLiteral("/%1-%2").arg(m_appId).arg(getuid()));
}

QString SingleInstance::lockFilePath() const
{
    return m_lock ? m_lock->fileName() : QString();
}

SingleInstance::Result SingleInstance::tryDirectory(const QString &directory)
{
    if (directory.isEmpty() || !QDir().mkpath(directory)) {
        return Result::unavailable;
    }
    auto lock = std::make_unique<QLockFile>(directory + QLatin1Char('/') + m_appId +
                                            QStringLiteral(".lock"));
    // A copy may run for weeks: only a lock whose process is gone counts as stale.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        m_lock = std::move(lock);
        return Result::acquired;
    }
    if (lock->error() != QLockFile::LockFailedError) {
        return Result::unavailable;
    }
    m_heldLockPath = lock->fileName();
    return Result::alreadyRunning;
}

qint64 SingleInstance::runningProcessId() const
{
    qint64 pid = 0;
    QString host;
    QString application;
    if (m_heldLockPath.isEmpty() ||
        !QLockFile(m_heldLockPath).getLockInfo(&pid, &host, &application)) {
        return 0;
    }
    return pid;
}
