// One copy per user: the lock file and what happens to it.
#include "singleinstance.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondCopyFindsTheFirst()
    {
        SingleInstance first("org.example.Test", m_dir.path());
        QCOMPARE(first.acquire(), SingleInstance::Result::acquired);
        QCOMPARE(first.lockFilePath(), m_dir.path() + "/org.example.Test.lock");
        QFile lock(first.lockFilePath()); // however long the first copy has been running
        QVERIFY(lock.open(QIODevice::ReadWrite) &&
                lock.setFileTime(QDateTime::currentDateTime().addDays(-30),
                                 QFileDevice::FileModificationTime));
        lock.close();
        QCOMPARE(SingleInstance("org.example.Test", m_dir.path()).acquire(),
                 SingleInstance::Result::alreadyRunning);
        QCOMPARE(SingleInstance("org.example.Other", m_dir.path()).acquire(),
                 SingleInstance::Result::acquired);
    }

    void unusableFolders()
    {
        const QString file = m_dir.path() + "/not-a-folder";
        QVERIFY(QFile(file).open(QIODevice::WriteOnly));
        QCOMPARE(SingleInstance("org.example.Test", file).acquire(),
                 SingleInstance::Result::unavailable);

        // The runtime folder is a file: the temporary folder takes the lock instead.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(file));
        QString folder;
        {
            SingleInstance fallback("org.example.Test-" +
                                    QString::number(QCoreApplication::applicationPid()));
            QCOMPARE(fallback.acquire(), SingleInstance::Result::acquired);
            folder = QFileInfo(fallback.lockFilePath()).path();
        }
        QVERIFY(folder.startsWith(QDir::tempPath()));
        QVERIFY(QDir().rmdir(folder));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
