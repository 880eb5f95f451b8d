// One copy per user: the lock file and what happens to it.
#include "singleinstance.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondCopyFindsTheFirst()
    {
        QTemporaryDir dir;
        SingleInstance first("org.example.Test", dir.path());
        QCOMPARE(first.acquire(), SingleInstance::Result::acquired);
        QCOMPARE(first.lockFilePath(), dir.path() + "/org.example.Test.lock");
        // However long the first copy has been running.
        QFile lock(first.lockFilePath());
        QVERIFY(lock.open(QIODevice::ReadWrite));
        QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addDays(-30),
                                 QFileDevice::FileModificationTime));
        lock.close();
        SingleInstance second("org.example.Test", dir.path());
        QCOMPARE(second.acquire(), SingleInstance::Result::alreadyRunning);
        SingleInstance other("org.example.Other", dir.path());
        QCOMPARE(other.acquire(), SingleInstance::Result::acquired);
    }

    void lockOfACrashedCopyIsTakenOver()
    {
        QTemporaryDir dir;
        // A lock written by a process that has ended since, a moment ago.
        QProcess process;
        process.start("true");
        QVERIFY(process.waitForStarted());
        const qint64 ended = process.processId();
        QVERIFY(process.waitForFinished());
        QFile lock(dir.path() + "/org.example.Test.lock");
        QVERIFY(lock.open(QIODevice::WriteOnly));
        // QLockFile's own format: process, program, host, machine and boot of the holder.
        lock.write(QByteArray::number(ended) + "\nquenzal\n" +
                   QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId() +
                   '\n' + QSysInfo::bootUniqueId() + '\n');
        lock.close();
        SingleInstance instance("org.example.Test", dir.path());
        QCOMPARE(instance.acquire(), SingleInstance::Result::acquired);
    }

    void unusableFolders()
    {
        QTemporaryDir dir;
        const QString file = dir.path() + "/not-a-folder";
        QFile(file).open(QIODevice::WriteOnly);
        SingleInstance given("org.example.Test", file);
        QCOMPARE(given.acquire(), SingleInstance::Result::unavailable);

        // The runtime folder is a file: the temporary folder takes the lock instead.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(file));
        QString lockFile;
        {
            SingleInstance fallback("org.example.Test-" +
                                    QString::number(QCoreApplication::applicationPid()));
            QCOMPARE(fallback.acquire(), SingleInstance::Result::acquired);
            lockFile = fallback.lockFilePath();
        }
        QVERIFY(lockFile.startsWith(QDir::tempPath()));
        QDir().rmdir(QFileInfo(lockFile).path());
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
