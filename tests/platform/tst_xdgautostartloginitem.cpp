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

    void enableAndDisable()
    {
        qputenv("XDG_CONFIG_HOME", "cfg"); // relative: ignored, as if unset
        XdgAutostartLoginItem item(appId, "/opt/my apps/quenzal", "Parlora\\Quenzal\n");
        QCOMPARE(item.entryPath(), m_home->path() + "/.config/autostart/" + appId + ".desktop");
        QVERIFY(!item.isEnabled());
        QVERIFY(item.disable()); // nothing there is no failure
        QVERIFY(item.enable());
        QVERIFY(item.isEnabled());
        QCOMPARE(readFile(item.entryPath()),
                 "[Desktop Entry]\nType=Application\nName=Parlora\\\\Quenzal\\n\n"
                 "Exec=\"/opt/my apps/quenzal\"\nIcon=org.example.Quenzal\nTerminal=false\n"
                 "NoDisplay=true\nX-GNOME-Autostart-enabled=true\n");
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
        QTest::addColumn<QString>("program");
        QTest::addColumn<QByteArray>("exec"); // as the new entry gives it
        const QString plain = QStringLiteral("/opt/new/quenzal");
        const QByteArray head = "[Desktop Entry]\nType=Application\nExec=/usr/bin/quenzal\n";
        QTest::newRow("no entry") << QByteArray() << false << QStringLiteral("/opt/100%/q")
                                  << QByteArray("/opt/100%%/q");
        QTest::newRow("plain entry")
            << head << true << QStringLiteral("/opt/a\\b/q") << QByteArray("\"/opt/a\\\\\\\\b/q\"");
        QTest::newRow("Hidden = true, spaced, CRLF") << head + "Hidden = true\r\n"
                                                     << false << plain << plain.toUtf8();
        QTest::newRow("Hidden before a second group")
            << head + "Hidden=true\n[Desktop Action x]\nHidden=false\n"
            << false << plain << plain.toUtf8();
        QTest::newRow("switched off in GNOME") << head + "X-GNOME-Autostart-enabled=false\n"
                                               << false << plain << plain.toUtf8();
    }
    void readsTheEntry()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, enabled);
        QFETCH(QString, program);
        QFETCH(QByteArray, exec);
        XdgAutostartLoginItem item(appId, program, "Parlora - Quenzal");
        QVERIFY(contents.isNull() || writeFile(item.entryPath(), contents));
        QCOMPARE(item.isEnabled(), enabled);
        // Enabling writes the entry anew, whatever was there.
        QVERIFY(item.enable());
        QVERIFY(item.isEnabled());
        QVERIFY(readFile(item.entryPath()).contains("\nExec=" + exec + '\n'));
    }

    // As root in CI no permission bit stops a write: things in the way do.
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
        QCOMPARE(item.disable(), !existingEntry);
    }

private:
    std::unique_ptr<TestHome> m_home;
};

QTEST_GUILESS_MAIN(TestXdgAutostartLoginItem)
#include "tst_xdgautostartloginitem.moc"
