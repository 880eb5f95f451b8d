// What the engine keeps on disk: the settings, whatever a file holds, and what is written back;
// the translation cache (keys, bad files, the bound, other writers, a full disk); and the
// translation service over it and a local DeepSeek stand-in.
#include "deepseekservice.h"
#include "preferences.h"
#include "quenzalerror.h"
#include "testhome.h"
#include "testhttpserver.h"
#include "translationcache.h"
#include "translationservice.h"
#include "waitfortask.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>

#include <csignal>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

const Language en = Language::english();
const Language ru = *Language::find(Language::targetLanguages(), u"ru");

QJsonObject readObject(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(file.readAll()).object();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// style | sources | targets | size | resize origin | shortcuts (show, clipboard) | theme
QString readBack(const Preferences &preferences)
{
    const auto sizeText = [](QSizeF size) {
        return u"%1x%2"_s.arg(size.width()).arg(size.height());
    };
    return QStringList{preferences.translationStyle().rawValue(),
                       preferences.recentSourceLanguages().join(u','),
                       preferences.recentTargetLanguages().join(u','),
                       sizeText(preferences.popoverSize()),
                       sizeText(preferences.resizeOrigin()),
                       preferences.shortcut(Preferences::ShortcutAction::show) + u' ' +
                           preferences.shortcut(Preferences::ShortcutAction::translateClipboard),
                       preferences.prefersDarkTheme() ? u"dark"_s : u"light"_s}
        .join(u" | ");
}

} // namespace

class TestStorage : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home.emplace();
        m_folder = m_home->dataHome() + u"/Quenzal"_s;
        m_file = m_folder + u"/translations.json"_s;
        QDir().mkpath(m_folder);
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("read");
        const QString defaults = u"standard | auto,en,ru | ru,en,tr | 780x460 | 780x460 | "
                                 "Alt+Space Alt+Shift+Space | light"_s;
        QTest::newRow("nothing stored") << QByteArray() << defaults;
        QTest::newRow("unknown style, theme in capitals")
            << QByteArray("translationStyle=Formal\nappTheme=Dark\n") << defaults;
        QTest::newRow("values of other types")
            << QByteArray("translationStyle=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x3)\n"
                          "recentSourceLanguages=@ByteArray(de)\n"
                          "recentTargetLanguages=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x3)\n"
                          "popoverSize=1000x700\n")
            << defaults;
        QTest::newRow("one-item lists, empty values")
            << QByteArray("recentSourceLanguages=de\nrecentTargetLanguages=\nshowShortcut=\n"
                          "translateClipboardShortcut=\n")
            << u"standard | de |  | 780x460 | 780x460 | Alt+Space Alt+Shift+Space | light"_s;
        QTest::newRow("sizes as text, one of them missing")
            << QByteArray("popoverWidth=850\npopoverHeight=abc\n")
            << u"standard | auto,en,ru | ru,en,tr | 850x460 | 780x460 | Alt+Space Alt+Shift+Space | light"_s;
        QTest::newRow("sizes beyond the limits")
            << QByteArray("popoverWidth=100000\npopoverHeight=10\n")
            << u"standard | auto,en,ru | ru,en,tr | 1200x380 | 780x460 | Alt+Space Alt+Shift+Space | light"_s;
    }
    void reading()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, read);
        writeFile(m_home->path() + "/Quenzal.conf", "[General]\n" + ini);
        QSettings settings(m_home->path() + "/Quenzal.conf", QSettings::IniFormat);
        QCOMPARE(readBack(Preferences(settings)), read);
    }

    void settingsSurviveARestart()
    {
        const QString path = m_home->path() + "/Quenzal.conf";
        {
            QSettings settings(path, QSettings::IniFormat);
            Preferences preferences(settings);
            preferences.setTranslationStyle(TranslationStyle::casual);
            preferences.setRecentSourceLanguages({"fr"});
            preferences.setRecentTargetLanguages({"de", "it"});
            preferences.setPopoverSize(QSize(901, 555));
            preferences.setShortcut(Preferences::ShortcutAction::show, "Ctrl+Alt+T");
            preferences.setShortcut(Preferences::ShortcutAction::translateClipboard, "Ctrl+F9");
            preferences.setLaunchAtLogin(true);
        }
        QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(readBack(Preferences(settings)),
                 "casual | fr | de,it | 901x555 | 901x555 | Ctrl+Alt+T Ctrl+F9 | light");
        QVERIFY(settings.value("launchAtLogin").toBool());
    }

    // A link is replaced, not written through; a held lock is given up on until the end.
    void survivesARestart()
    {
        const QString victim = m_home->path() + "/victim";
        writeFile(victim, "precious");
        QVERIFY(QFile::link(victim, m_file));
        QCOMPARE(TranslationCache::key(u"Good morning"_s, u"en"_s, u"ru:formal"_s),
                 u"50b2797409257c899cf5bd6c1435530a1f615a6c18c885d623b7c81c53990aa7"_s);
        {
            TranslationCache cache(m_folder);
            cache.set("k1", "Hallo");
            cache.waitForPendingWrites();
            QCOMPARE(QFileInfo(victim).size(), qint64(8)); // "precious", untouched
            QVERIFY(!QFileInfo(m_file).isSymLink());
            QLockFile other(m_file + ".lock");
            QVERIFY(other.tryLock(0));
            cache.set("k2", "Welt 🌍");
            cache.waitForPendingWrites();
            QCOMPARE(readObject(m_file), (QJsonObject{{"k1", "Hallo"}}));
            QCOMPARE(cache.get("k2"), "Welt 🌍");
        }
        TranslationCache cache(m_folder);
        QCOMPARE(cache.get("k2"), "Welt 🌍");
        QCOMPARE(cache.get("k1"), "Hallo");
    }

    // A bad or oversized file loads nothing and stays until the next store.
    void loadingAFile_data()
    {
        QTest::addColumn<QByteArray>("contents"); // null: a sparse file over the size bound
        QTest::addColumn<int>("loaded");          // -1: the file is refused
        QJsonObject many;
        for (int i = 0; i < 600; ++i) {
            many.insert(QString::number(i), u"v"_s);
        }
        QTest::newRow("600 entries") << QJsonDocument(many).toJson() << 600;
        QTest::newRow("number value") << QByteArray(R"({"k1":"Hallo","k2":42})") << -1;
        QTest::newRow("too big") << QByteArray() << -1;
    }
    void loadingAFile()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, loaded);
        writeFile(m_file, contents);
        if (contents.isNull()) {
            QVERIFY(QFile::resize(m_file, TranslationCache::maxFileSize + 1));
        }
        const qint64 size = QFileInfo(m_file).size();
        TranslationCache cache(m_folder);
        QCOMPARE(cache.count(), std::max(loaded, 0));
        cache.waitForPendingWrites();
        QCOMPARE(QFileInfo(m_file).size(), size);
        cache.set("k3", "Drei");
        QCOMPARE(cache.count(), std::min(std::max(loaded, 0) + 1, 500));
        cache.waitForPendingWrites();
        const QJsonObject onDisk = readObject(m_file);
        QCOMPARE(onDisk.size(), cache.count());
        QCOMPARE(onDisk["k3"].toString(), "Drei");
    }

    // The oldest entry goes, not one stored again; an answer too long is not kept.
    void staysBounded()
    {
        const QString longest(TranslationCache::maxValueLength, QChar(0x01)); // six bytes each
        {
            TranslationCache cache(m_folder);
            for (int i = 0; i < 500; ++i) {
                cache.set(QString::number(i), u"v"_s);
            }
            cache.set("42", "again");
            QCOMPARE(cache.get("0"), "v");
            cache.set("longest", longest);
            QCOMPARE(cache.count(), 500);
            QVERIFY(!cache.get("0"));
            QCOMPARE(cache.get("42"), "again");
            cache.set("too long", longest + QChar(0x01));
            QVERIFY(!cache.get("too long"));
        }
        QCOMPARE(TranslationCache(m_folder).get("longest"), longest);
    }

    // Four programs, each storing 150 translations one by one (main()).
    void processesKeepEachOthersEntries()
    {
        std::array<QProcess, 4> writers;
        for (int w = 0; w < 4; ++w) {
            writers[w].setProcessChannelMode(QProcess::ForwardedChannels);
            writers[w].start(QCoreApplication::applicationFilePath(),
                             {"--write", m_folder, u"w%1-"_s.arg(w)});
        }
        for (QProcess &writer : writers) {
            QVERIFY(writer.waitForFinished(60'000) && writer.exitCode() == 0);
        }
        QCOMPARE(readObject(m_file).size(), 500);
    }

    // A full disk (a file size limit here) leaves the old file whole.
    void failedWriteKeepsTheFile()
    {
        TranslationCache cache(m_folder);
        for (int i = 0; i < 20; ++i) {
            cache.set(u"k%1"_s.arg(i), QString(100, 'v'));
        }
        cache.waitForPendingWrites();
        const QJsonObject before = readObject(m_file);
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_FSIZE, &saved); });
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(QFileInfo(m_file).size()), saved.rlim_max};
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        cache.set("new", "n");
        cache.waitForPendingWrites();
        QCOMPARE(readObject(m_file), before);
        QCOMPARE(cache.get("new"), "n");
        QCOMPARE(QDir(m_folder).entryList(QDir::Files), QStringList{"translations.json"});
    }

    // Refusals are settled before the cache or the network is asked. A failure is not kept; an
    // answer is, under the trimmed text, also after a restart.
    void serviceKeepsAnswers()
    {
        QCOMPARE(translate(" \n\t ", Language::autoDetect()), "");
        QCOMPARE(translate("Hello", Language::autoDetect(), Language{"auto", "x", "auto"}),
                 "Invalid target language selected");
        QCOMPARE(translate("Hello", en, Language{"en2", "Other", "en"}),
                 "API error: Source and target languages must be different");
        QVERIFY(m_server.requests().isEmpty());
        QVERIFY(!QFileInfo::exists(m_file));
        m_server.enqueue({.status = 500});
        m_server.enqueue({.body = TestHttpServer::completion("  Доброе утро\n")});
        QCOMPARE(translate("  Good morning\n"), "Network request to DeepSeek failed");
        QCOMPARE(translate("  Good morning\n"), "Доброе утро");
        QCOMPARE(translate("Good morning"), "Доброе утро");
        QCOMPARE(m_server.requests().size(), 2);
        const QJsonDocument sent = QJsonDocument::fromJson(m_server.requests().last().body);
        QCOMPARE(sent["messages"][1]["content"].toString(), "Good morning");
        QVERIFY(TranslationCache(m_folder).get(
            TranslationCache::key("Good morning", "en", "ru:formal")));
    }

private:
    // The translation or the failure, over a cache read anew each time.
    QString translate(const QString &text, const Language &from = en, const Language &to = ru)
    {
        TranslationCache cache(m_folder);
        DeepSeekService deepSeek(m_server.url(), []() -> QCoro::Task<QString> { co_return "k"; });
        TranslationService service(cache, deepSeek);
        try {
            return waitForTask(service.translate(text, from, to, TranslationStyle::formal));
        } catch (const QuenzalError &error) {
            return error.description();
        }
    }

    std::optional<TestHome> m_home;
    QString m_folder;
    QString m_file;
    TestHttpServer m_server;
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--write") == 0) { // another program writing the cache
        TranslationCache cache(QString::fromLocal8Bit(argv[2]));
        for (int i = 0; i < 150; ++i) {
            cache.set(QString::fromLocal8Bit(argv[3]) + QString::number(i), u"t"_s);
            cache.waitForPendingWrites();
        }
        return 0;
    }
    TestStorage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_storage.moc"
