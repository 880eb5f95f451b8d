// The autostart entry in a temporary home: where it goes, what it says, how it is read back.
#include "testhome.h"
#include "xdgautostartloginitem.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>

namespace {

const QString appId = QStringLiteral("org.example.Quenzal");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(contents) == contents.size();
}

} // namespace

class TestXdgAutostartLoginItem : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    // A relative XDG_CONFIG_HOME is to be ignored, as if unset.
    void relativeConfigHome()
    {
        qputenv("XDG_CONFIG_HOME", "cfg");
        XdgAutostartLoginItem item(appId, "/usr/bin/quenzal", "Parlora - Quenzal");
        QCOMPARE(item.entryPath(), m_home->path() + "/.config/autostart/" + appId + ".desktop");
    }

    void enableAndDisable()
    {
        XdgAutostartLoginItem item(appId, "/opt/my apps/quenzal", "Parlora\\Quenzal\n");
        QVERIFY(!item.isEnabled());
        QVERIFY(item.disable()); // nothing there is no failure
        QVERIFY(item.enable());
        QVERIFY(item.isEnabled());
        QCOMPARE(readFile(item.entryPath()), "[Desktop Entry]\n"
                                             "Type=Application\n"
                                             "Name=Parlora\\\\Quenzal\\n\n"
                                             "Exec=\"/opt/my apps/quenzal\"\n"
                                             "Icon=org.example.Quenzal\n"
                                             "Terminal=false\n"
                                             "NoDisplay=true\n"
                                             "X-GNOME-Autostart-enabled=true\n");
        QVERIFY(item.enable()); // again: still one entry, and no temporary file beside it
        QCOMPARE(QDir(QFileInfo(item.entryPath()).path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{appId + ".desktop"});
        QVERIFY(item.disable());
        QVERIFY(!QFile::exists(item.entryPath()));
        QVERIFY(!item.isEnabled());
    }

    void readsTheEntry_data()
    {
        QTest::addColumn<QByteArray>("contents"); // null: no file
        QTest::addColumn<bool>("enabled");
        const QByteArray head = "[Desktop Entry]\nType=Application\nExec=/usr/bin/quenzal\n";
        QTest::newRow("no entry") << QByteArray() << false;
        QTest::newRow("plain entry") << head << true;
        QTest::newRow("Hidden = true, spaced, CRLF") << head + "Hidden = true\r\n" << false;
        QTest::newRow("Hidden=1") << head + "Hidden=1\n" << false;
        QTest::newRow("Hidden in another group") << head + "[Desktop Action x]\nHidden=true\n"
                                                 << true;
        QTest::newRow("Hidden before a second group")
            << head + "Hidden=true\n[Desktop Action x]\nHidden=false\n"
            << false;
        QTest::newRow("switched off in GNOME") << head + "X-GNOME-Autostart-enabled=false\n"
                                               << false;
    }
    void readsTheEntry()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, enabled);
        XdgAutostartLoginItem item(appId, "/opt/new/quenzal", "Parlora - Quenzal");
        QVERIFY(contents.isNull() || writeFile(item.entryPath(), contents));
        QCOMPARE(item.isEnabled(), enabled);
        // Enabling writes the entry anew, whatever was there.
        QVERIFY(item.enable());
        QVERIFY(item.isEnabled());
        QVERIFY(readFile(item.entryPath()).contains("\nExec=/opt/new/quenzal\n"));
    }

    // The tests run as root in CI, where no permission bit stops a write: things in the way do.
    void unwritableFolder_data()
    {
        QTest::addColumn<QString>("obstacle"); // a file at this path, relative to the config home
        QTest::addColumn<bool>("existingEntry");
        QTest::newRow("autostart is a file") << "/autostart" << false;
        QTest::newRow("entry is a folder") << "/autostart/org.example.Quenzal.desktop/x" << true;
    }
    void unwritableFolder()
    {
        QFETCH(QString, obstacle);
        QFETCH(bool, existingEntry);
        QVERIFY(writeFile(qEnvironmentVariable("XDG_CONFIG_HOME") + obstacle, "in the way"));
        XdgAutostartLoginItem item(appId, "/usr/bin/quenzal", "Parlora - Quenzal");
        QVERIFY(!item.enable());
        QVERIFY(!item.isEnabled());
        QCOMPARE(item.disable(), !existingEntry);
    }

    void execValue_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("value");
        QTest::newRow("percent") << QStringLiteral("/opt/100%/quenzal") << "/opt/100%%/quenzal";
        QTest::newRow("dollar") << QStringLiteral("/opt/$x/quenzal") << "\"/opt/\\\\$x/quenzal\"";
        QTest::newRow("backslash") << QStringLiteral("/opt/a\\b/q") << "\"/opt/a\\\\\\\\b/q\"";
        QTest::newRow("newline") << QStringLiteral("/opt/a\nb/q") << "\"/opt/a\\nb/q\"";
    }
    void execValue()
    {
        QFETCH(QString, path);
        QFETCH(QString, value);
        QCOMPARE(XdgAutostartLoginItem::execValue(path), value);
    }

private:
    std::unique_ptr<TestHome> m_home;
};

QTEST_GUILESS_MAIN(TestXdgAutostartLoginItem)
#include "tst_xdgautostartloginitem.moc"
