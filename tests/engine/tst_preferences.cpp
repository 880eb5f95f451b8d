// The stored settings: what each key reads as, whatever a file holds, and what is written back.
#include "preferences.h"
#include "testhome.h"

#include <QFile>
#include <QSettings>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

class TestPreferences : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_settings.reset();
        m_home.reset();
        m_home = std::make_unique<TestHome>();
    }

    // Each row is a settings file as a user may have it; the columns are what the program
    // makes of it.
    void reading_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("style");
        QTest::addColumn<QStringList>("recentSource");
        QTest::addColumn<QStringList>("recentTarget");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSizeF>("origin");
        QTest::addColumn<QString>("shortcut");
        QTest::addColumn<bool>("dark");
        const QStringList source{"auto", "en", "ru"};
        const QStringList target{"ru", "en", "tr"};
        const QSize size(780, 460);

        QTest::newRow("nothing stored") << QByteArray() << u"standard"_s << source << target << size
                                        << QSizeF(size) << u"Alt+Space"_s << false;
        // As the program writes them.
        QTest::newRow("written by the program")
            << QByteArray("translationStyle=formal\nrecentSourceLanguages=de, auto, fr\n"
                          "recentTargetLanguages=ja, ko\npopoverWidth=1000\npopoverHeight=700\n"
                          "popoverSize=@Variant(\\0\\0\\0\\b\\0\\0\\0\\x2\\0\\0\\0\\f\\0h\\0"
                          "\\x65\\0i\\0g\\0h\\0t\\0\\0\\0\\x6@\\x85\\xe0\\0\\0\\0\\0\\0\\0\\0\\0"
                          "\\n\\0w\\0i\\0\\x64\\0t\\0h\\0\\0\\0\\x6@\\x8f@\\0\\0\\0\\0\\0)\n"
                          "showShortcut=Ctrl+Alt+T\nappTheme=dark\nlaunchAtLogin=true\n")
            << u"formal"_s << QStringList{"de", "auto", "fr"} << QStringList{"ja", "ko"}
            << QSize(1000, 700) << QSizeF(1000, 700) << u"Ctrl+Alt+T"_s << true;
        QTest::newRow("unknown style, theme in capitals")
            << QByteArray("translationStyle=Formal\nappTheme=Dark\n") << u"standard"_s << source
            << target << size << QSizeF(size) << u"Alt+Space"_s << false;
        QTest::newRow("values of other types")
            << QByteArray("translationStyle=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x3)\n"
                          "recentSourceLanguages=@ByteArray(de)\n"
                          "recentTargetLanguages=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x3)\n"
                          "popoverSize=1000x700\n")
            << u"standard"_s << source << target << size << QSizeF(size) << u"Alt+Space"_s << false;
        // An INI file keeps a list of one as plain text.
        QTest::newRow("one-item lists, empty values")
            << QByteArray("recentSourceLanguages=de\nrecentTargetLanguages=\nshowShortcut=\n")
            << u"standard"_s << QStringList{"de"} << QStringList{""} << size << QSizeF(size)
            << u"Alt+Space"_s << false;
        QTest::newRow("sizes as text, one of them missing")
            << QByteArray("popoverWidth=850\npopoverHeight=abc\n") << u"standard"_s << source
            << target << QSize(850, 460) << QSizeF(size) << u"Alt+Space"_s << false;
        QTest::newRow("sizes beyond the limits")
            << QByteArray("popoverWidth=100000\npopoverHeight=10\n") << u"standard"_s << source
            << target << QSize(1200, 380) << QSizeF(size) << u"Alt+Space"_s << false;
        QTest::newRow("sizes not above zero")
            << QByteArray("popoverWidth=-5\npopoverHeight=0\n") << u"standard"_s << source << target
            << size << QSizeF(size) << u"Alt+Space"_s << false;
    }
    void reading()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, style);
        QFETCH(QStringList, recentSource);
        QFETCH(QStringList, recentTarget);
        QFETCH(QSize, size);
        QFETCH(QSizeF, origin);
        QFETCH(QString, shortcut);
        QFETCH(bool, dark);
        const Preferences preferences = open("[General]\n" + ini);
        QCOMPARE(preferences.translationStyle().rawValue(), style);
        QCOMPARE(preferences.recentSourceLanguages(), recentSource);
        QCOMPARE(preferences.recentTargetLanguages(), recentTarget);
        QCOMPARE(preferences.popoverSize(), size);
        QCOMPARE(preferences.resizeOrigin(), origin);
        QCOMPARE(preferences.showShortcut(), shortcut);
        QCOMPARE(preferences.prefersDarkTheme(), dark);
    }

    // What the program writes reads back the same after a restart, in the same keys.
    void writingSurvivesARestart()
    {
        {
            Preferences preferences = open({});
            preferences.setTranslationStyle(TranslationStyle::casual);
            preferences.setRecentSourceLanguages({"fr"});
            preferences.setRecentTargetLanguages({"de", "it"});
            preferences.setPopoverSize(QSize(901, 555));
            preferences.setShowShortcut("Ctrl+Alt+T");
            preferences.setLaunchAtLogin(true);
            m_settings->sync();
        }
        m_settings.reset();
        const Preferences preferences = open(readFile());
        QCOMPARE(preferences.translationStyle(), TranslationStyle::casual);
        QCOMPARE(preferences.recentSourceLanguages(), QStringList{"fr"});
        QCOMPARE(preferences.recentTargetLanguages(), (QStringList{"de", "it"}));
        QCOMPARE(preferences.popoverSize(), QSize(901, 555));
        QCOMPARE(preferences.resizeOrigin(), QSizeF(901, 555));
        QCOMPARE(preferences.showShortcut(), "Ctrl+Alt+T");
        QCOMPARE(m_settings->value("launchAtLogin").toBool(), true);
        QCOMPARE(m_settings->value("popoverWidth").toDouble(), 901.0);
        QCOMPARE(m_settings->value("popoverSize").toMap().value("height").toDouble(), 555.0);
    }

    void clearedShortcutGoesBackToTheDefault()
    {
        Preferences preferences = open("[General]\nshowShortcut=Ctrl+Alt+T\n");
        preferences.setShowShortcut({});
        QVERIFY(!m_settings->contains("showShortcut"));
        QCOMPARE(preferences.showShortcut(), Preferences::defaultShowShortcut);
    }

private:
    Preferences open(const QByteArray &ini)
    {
        const QString path = m_home->path() + "/Quenzal.conf";
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(ini) != ini.size()) {
            qFatal("cannot write %s", qPrintable(path));
        }
        file.close();
        m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        return Preferences(*m_settings);
    }

    QByteArray readFile() const
    {
        QFile file(m_home->path() + "/Quenzal.conf");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QSettings> m_settings;
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
