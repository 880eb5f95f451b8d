// The stored settings: what each key reads as, whatever a file holds, and what is written back.
#include "preferences.h"
#include "testhome.h"

#include <QFile>
#include <QSettings>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// style | sources | targets | size | resize origin | shortcut | theme
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
                       preferences.showShortcut(),
                       preferences.prefersDarkTheme() ? u"dark"_s : u"light"_s}
        .join(u" | ");
}

} // namespace

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

    void reading_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("read");
        const QString defaults = u"standard | auto,en,ru | ru,en,tr | 780x460 | 780x460 | "
                                 "Alt+Space | light"_s;
        QTest::newRow("nothing stored") << QByteArray() << defaults;
        QTest::newRow("written by the program")
            << QByteArray("translationStyle=formal\nrecentSourceLanguages=de, auto, fr\n"
                          "recentTargetLanguages=ja, ko\nshowShortcut=Ctrl+Alt+T\nappTheme=dark\n")
            << u"formal | de,auto,fr | ja,ko | 780x460 | 780x460 | Ctrl+Alt+T | dark"_s;
        QTest::newRow("unknown style, theme in capitals")
            << QByteArray("translationStyle=Formal\nappTheme=Dark\n") << defaults;
        QTest::newRow("values of other types")
            << QByteArray("translationStyle=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x3)\n"
                          "recentSourceLanguages=@ByteArray(de)\n"
                          "recentTargetLanguages=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x3)\n"
                          "popoverSize=1000x700\n")
            << defaults;
        QTest::newRow("one-item lists, empty values")
            << QByteArray("recentSourceLanguages=de\nrecentTargetLanguages=\nshowShortcut=\n")
            << u"standard | de |  | 780x460 | 780x460 | Alt+Space | light"_s;
        QTest::newRow("sizes as text, one of them missing")
            << QByteArray("popoverWidth=850\npopoverHeight=abc\n")
            << u"standard | auto,en,ru | ru,en,tr | 850x460 | 780x460 | Alt+Space | light"_s;
        QTest::newRow("sizes beyond the limits")
            << QByteArray("popoverWidth=100000\npopoverHeight=10\n")
            << u"standard | auto,en,ru | ru,en,tr | 1200x380 | 780x460 | Alt+Space | light"_s;
    }
    void reading()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, read);
        QCOMPARE(readBack(open("[General]\n" + ini)), read);
    }

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
        m_settings = std::make_unique<QSettings>(m_settings->fileName(), QSettings::IniFormat);
        QCOMPARE(readBack(Preferences(*m_settings)),
                 "casual | fr | de,it | 901x555 | 901x555 | Ctrl+Alt+T | light");
        QVERIFY(m_settings->value("launchAtLogin").toBool());
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

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QSettings> m_settings;
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
