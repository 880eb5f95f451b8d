// The on-disk translation cache: keys, persistence across restarts, bad files, the bound.
#include "testhome.h"
#include "translationcache.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <csignal>

#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QJsonObject readObject(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    return error.error == QJsonParseError::NoError ? document.object() : QJsonObject();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestTranslationCache : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home.reset(); // the old home restores the environment first
        m_home = std::make_unique<TestHome>();
        m_folder = m_home->dataHome() + QStringLiteral("/Quenzal");
        m_log.clear();
    }

    void keys_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("key");
        QTest::newRow("service form")
            << u"Good morning"_s << u"en"_s << u"ru:formal"_s
            << u"50b2797409257c899cf5bd6c1435530a1f615a6c18c885d623b7c81c53990aa7"_s;
        // Nothing is escaped: these two requests share one key.
        QTest::newRow("separator in text")
            << u"b"_s << u"de"_s << u"en:standard|a"_s
            << u"b7f90fe56258740e3bcb8d9afe9a40f9fbfef342b3de260d5ddeec4ab087d61d"_s;
        QTest::newRow("separator in target")
            << u"a|b"_s << u"de"_s << u"en:standard"_s
            << u"b7f90fe56258740e3bcb8d9afe9a40f9fbfef342b3de260d5ddeec4ab087d61d"_s;
    }
    void keys()
    {
        QFETCH(QString, text);
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(QString, key);
        QCOMPARE(TranslationCache::key(text, source, target), key);
    }

    void survivesARestart()
    {
        {
            TranslationCache cache(m_folder, logger());
            QVERIFY(m_log.isEmpty()); // no file yet: nothing loaded, nothing said
            cache.set("k1", "Hallo");
            cache.set("k2", "Welt 🌍");
        }
        TranslationCache cache(m_folder, logger());
        QVERIFY(m_log.isEmpty()); // read at the first use, not before
        QCOMPARE(cache.get("k1"), "Hallo");
        QCOMPARE(m_log, QStringList{"[Cache] Loaded 2 cached translations"});
        QCOMPARE(cache.get("k2"), "Welt 🌍");
        QVERIFY(!cache.get("k3"));
    }

    // A file that is not an object of strings loads nothing and stays until the next store;
    // one that is loads whole, even beyond the bound, until the next store trims it.
    void loadingAFile_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("loaded"); // -1: the file is refused
        QJsonObject many;
        for (int i = 0; i < 600; ++i) {
            many.insert(QString::number(i), QStringLiteral("v"));
        }
        QTest::newRow("empty object") << QByteArray("{}") << 0;
        QTest::newRow("600 entries") << QJsonDocument(many).toJson() << 600;
        QTest::newRow("array") << QByteArray(R"(["a","b"])") << -1;
        QTest::newRow("number value") << QByteArray(R"({"k1":"Hallo","k2":42})") << -1;
        QTest::newRow("truncated") << QByteArray("{\"k1\":\"Hal") << -1;
        QTest::newRow("empty file") << QByteArray() << -1;
        QTest::newRow("not UTF-8") << QByteArray("{\"k1\":\"\xff\xfe\"}") << -1;
    }
    void loadingAFile()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, loaded);
        const QString path = m_folder + "/translations.json";
        QDir().mkpath(m_folder);
        writeFile(path, contents);
        TranslationCache cache(m_folder, logger());
        QCOMPARE(cache.count(), std::max(loaded, 0));
        QCOMPARE(m_log, loaded < 0 ? QStringList()
                                   : QStringList{QStringLiteral("[Cache] Loaded %1 cached "
                                                                "translations")
                                                     .arg(loaded)});
        cache.waitForPendingWrites();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), contents);
        file.close();

        cache.set("k3", "Drei");
        QCOMPARE(cache.count(), std::min(std::max(loaded, 0) + 1, 500));
        cache.waitForPendingWrites();
        const QJsonObject onDisk = readObject(path);
        QCOMPARE(onDisk.size(), cache.count());
        QCOMPARE(onDisk["k3"].toString(), "Drei");
    }

    void hugeFileIsIgnored()
    {
        const QString path = m_folder + "/translations.json";
        QDir().mkpath(m_folder);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(TranslationCache::maxFileSize + 1)); // sparse: costs no disk
        file.close();
        TranslationCache cache(m_folder, logger());
        QVERIFY(m_log.isEmpty());
        QCOMPARE(cache.count(), 0);
        QCOMPARE(QFileInfo(path).size(), TranslationCache::maxFileSize + 1);
    }

    void directoryInPlaceOfTheFileKeepsWorkingInMemory()
    {
        QDir().mkpath(m_folder + "/translations.json");
        TranslationCache cache(m_folder, logger());
        cache.set("k1", "Hallo");
        cache.waitForPendingWrites();
        QCOMPARE(cache.get("k1"), "Hallo");
        QVERIFY(QFileInfo(m_folder + "/translations.json").isDir());
        QVERIFY(m_log.isEmpty());
    }

    void removedFolderIsCreatedAgain()
    {
        TranslationCache cache(m_folder, logger());
        QVERIFY(QDir(m_folder).removeRecursively());
        cache.set("k1", "Hallo");
        cache.waitForPendingWrites();
        QCOMPARE(readObject(m_folder + "/translations.json"), (QJsonObject{{"k1", "Hallo"}}));
    }

    void staysWithinFiveHundredEntries()
    {
        TranslationCache cache(m_folder, logger());
        for (int i = 0; i < 500; ++i) {
            cache.set(QString::number(i), QStringLiteral("v"));
        }
        QCOMPARE(cache.count(), 500);
        cache.set("42", "again"); // an existing key evicts nothing
        QCOMPARE(cache.count(), 500);
        cache.set("new", "latest");
        QCOMPARE(cache.count(), 500);
        QCOMPARE(cache.get("new"), "latest"); // the entry just stored is never the victim
        cache.waitForPendingWrites();
        QCOMPARE(readObject(cache.filePath()).size(), 500);
    }

    void concurrentStoresEndWithTheNewestCompleteFile()
    {
        TranslationCache cache(m_folder, logger());
        QList<QThread *> threads;
        for (int t = 0; t < 8; ++t) {
            threads.append(QThread::create([&cache, t] {
                for (int i = 0; i < 50; ++i) {
                    cache.set(QStringLiteral("%1-%2").arg(t).arg(i), QString(200, QChar('a' + t)));
                }
            }));
            threads.last()->start();
        }
        for (QThread *thread : threads) {
            thread->wait();
            delete thread;
        }
        QCOMPARE(cache.count(), 400);
        cache.waitForPendingWrites();
        const QJsonObject onDisk = readObject(cache.filePath());
        QCOMPARE(onDisk.size(), 400);
        for (auto it = onDisk.begin(); it != onDisk.end(); ++it) {
            QCOMPARE(cache.get(it.key()), it.value().toString());
        }
        // No temporary file is left behind.
        QCOMPARE(QDir(m_folder).entryList(QDir::Files), QStringList{"translations.json"});
    }

    // Programs that store translations at the same time keep each other's, within the bound.
    void processesKeepEachOthersEntries_data()
    {
        QTest::addColumn<int>("each"); // of four writers
        QTest::addColumn<int>("kept");
        QTest::newRow("4 x 25") << 25 << 100;
        QTest::newRow("4 x 150") << 150 << 500;
    }
    void processesKeepEachOthersEntries()
    {
        QFETCH(int, each);
        QFETCH(int, kept);
        std::vector<std::unique_ptr<QProcess>> writers;
        for (int w = 0; w < 4; ++w) {
            writers.push_back(std::make_unique<QProcess>());
            writers.back()->setProcessChannelMode(QProcess::ForwardedChannels);
            writers.back()->start(QStringLiteral(CACHE_WRITER),
                                  {m_folder, QStringLiteral("w%1-").arg(w), QString::number(each)});
        }
        for (const auto &writer : writers) {
            QVERIFY(writer->waitForFinished(60'000));
            QCOMPARE(writer->exitCode(), 0);
        }
        const QJsonObject onDisk = readObject(m_folder + "/translations.json");
        QCOMPARE(onDisk.size(), kept);
        if (kept == 4 * each) {
            for (int w = 0; w < 4; ++w) {
                for (int i = 0; i < each; ++i) {
                    QVERIFY(onDisk.contains(QStringLiteral("w%1-%2").arg(w).arg(i)));
                }
            }
        }
    }

    void writeWaitsForAnotherOnlySoLong()
    {
        const QString path = m_folder + "/translations.json";
        auto cache = std::make_unique<TranslationCache>(m_folder, logger());
        cache->set("k1", "Eins");
        cache->waitForPendingWrites();
        QLockFile other(path + ".lock");
        QVERIFY(other.tryLock(0));
        cache->set("k2", "Zwei");
        cache->waitForPendingWrites();
        QCOMPARE(readObject(path), (QJsonObject{{"k1", "Eins"}}));
        QCOMPARE(cache->get("k2"), "Zwei");
        other.unlock();
        cache.reset(); // the last chance for what was left
        QCOMPARE(readObject(path), (QJsonObject{{"k1", "Eins"}, {"k2", "Zwei"}}));
    }

    // What a link in the file's place points to is never written.
    void linkInPlaceOfTheFileIsReplaced_data()
    {
        QTest::addColumn<bool>("dangling");
        QTest::newRow("to a file") << false;
        QTest::newRow("to nothing") << true;
    }
    void linkInPlaceOfTheFileIsReplaced()
    {
        QFETCH(bool, dangling);
        const QString victim = m_home->path() + "/victim";
        if (!dangling) {
            writeFile(victim, "precious");
        }
        QDir().mkpath(m_folder);
        QVERIFY(QFile::link(victim, m_folder + "/translations.json"));
        TranslationCache cache(m_folder, logger());
        cache.set("k1", "Eins");
        cache.waitForPendingWrites();
        QFile file(victim);
        QCOMPARE(file.exists(), !dangling);
        if (!dangling) {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), "precious");
        }
        QVERIFY(!QFileInfo(m_folder + "/translations.json").isSymLink());
        QCOMPARE(readObject(m_folder + "/translations.json"), (QJsonObject{{"k1", "Eins"}}));
    }

    // A write that cannot be completed leaves the old file whole; its entries go out later.
    void failedWriteKeepsTheFile_data()
    {
        QTest::addColumn<bool>("fileSystem"); // a full file system, else a file size limit
        QTest::newRow("full file system") << true;
        QTest::newRow("file size limit") << false;
    }
    void failedWriteKeepsTheFile()
    {
        QFETCH(bool, fileSystem);
        const QString path = m_folder + "/translations.json";
        QDir().mkpath(m_folder);
        const QString mounted = m_folder;
        if (fileSystem) {
            if (::geteuid() != 0 || ::mount("tmpfs", QFile::encodeName(mounted).constData(),
                                            "tmpfs", 0, "size=64k") != 0) {
                QSKIP("mounting a small tmpfs needs root");
            }
        }
        const auto unmount = qScopeGuard([&] {
            if (fileSystem) {
                ::umount2(QFile::encodeName(mounted).constData(), MNT_DETACH);
            }
        });
        TranslationCache cache(m_folder, logger());
        for (int i = 0; i < 20; ++i) {
            cache.set(QStringLiteral("k%1").arg(i), QString(100, 'v'));
        }
        cache.waitForPendingWrites();
        const QJsonObject before = readObject(path);
        QCOMPARE(before.size(), 20);

        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const auto filler = m_folder + "/filler";
        if (fileSystem) {
            QFile fill(filler);
            QVERIFY(fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            const QByteArray block(4096, 'x');
            while (fill.write(block) == block.size()) {
            }
        } else {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{rlim_t(QFileInfo(path).size()), saved.rlim_max};
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        }
        cache.set("new", QString(100, 'n'));
        cache.waitForPendingWrites();
        QCOMPARE(readObject(path), before);
        QCOMPARE(cache.get("new"), QString(100, 'n'));

        if (fileSystem) {
            QVERIFY(QFile::remove(filler));
        } else {
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &saved), 0);
        }
        cache.set("later", "l");
        cache.waitForPendingWrites();
        const QJsonObject after = readObject(path);
        QCOMPARE(after.size(), 22);
        QCOMPARE(after["new"].toString(), QString(100, 'n'));
        QCOMPARE(QDir(m_folder).entryList(QDir::Files),
                 QStringList{"translations.json"}); // no half-written file left behind
    }

    // Whatever the answers, the file stays small enough to be loaded again.
    void fileStaysLoadable()
    {
        const QString longest(TranslationCache::maxValueLength, QChar(0x01)); // six bytes each
        {
            TranslationCache cache(m_folder, logger());
            cache.set("keep", "Hallo");
            cache.set("longest", longest);
            const QString huge(1 << 20, QChar(0x01));
            for (int i = 0; i < 11; ++i) {
                cache.set(QStringLiteral("huge %1").arg(i), huge);
            }
            cache.set("too long", longest + QChar(0x01));
            QVERIFY(!cache.get("too long"));
        }
        TranslationCache cache(m_folder, logger());
        QCOMPARE(cache.get("keep"), "Hallo");
        QCOMPARE(cache.get("longest"), longest);
        QCOMPARE(cache.count(), 2);
    }

private:
    TranslationCache::LogSink logger()
    {
        return [this](const QString &line) { m_log.append(line); };
    }

    std::unique_ptr<TestHome> m_home;
    QString m_folder;
    QStringList m_log;
};

QTEST_GUILESS_MAIN(TestTranslationCache)
#include "tst_translationcache.moc"
