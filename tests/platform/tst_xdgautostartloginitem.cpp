// The autostart entry in a temporary home: where it goes, what it says, how it is read back.
#include "testhome.h"
#include "xdgautostartloginitem.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>

namespace {

const QString appId = QStringLiteral("org.example.Quenzal");

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
    void init()
    {
        m_home = std::make_unique<TestHome>();
        qputenv("XDG_CONFIG_HOME", "cfg"); // relative: ignored, as if unset
    }
    void cleanup() { m_home.reset(); }

    // Whatever was there, enabling writes the entry anew, and disabling removes it.
    void entry_data()
    {
        QTest::addColumn<QByteArray>("contents"); // null: no file
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QByteArray>("exec"); // as the new entry gives it
        const QString plain = QStringLiteral("/opt/new/quenzal");
        const QByteArray head = "[Desktop Entry]\nType=Application\nExec=/usr/bin/quenzal\n";
        QTest::newRow("no entry") << QByteArray() << false << QStringLiteral("/opt/100% apps/q")
                                  << QByteArray("\"/opt/100%% apps/q\"");
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
    void entry()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, enabled);
        QFETCH(QString, program);
        QFETCH(QByteArray, exec);
        XdgAutostartLoginItem item(appId, program, "Parlora\\Quenzal\n");
        const QString folder = m_home->path() + "/.config/autostart";
        QCOMPARE(item.entryPath(), folder + '/' + appId + ".desktop");
        QVERIFY(contents.isNull() || writeFile(item.entryPath(), contents));
        QCOMPARE(item.isEnabled(), enabled);
        QVERIFY(item.enable());
        QVERIFY(item.isEnabled());
        QFile file(item.entryPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "[Desktop Entry]\nType=Application\nName=Parlora\\\\Quenzal\\n\n"
                                 "Exec=" +
                                     exec +
                                     "\nIcon=org.example.Quenzal\nTerminal=false\n"
                                     "NoDisplay=true\nX-GNOME-Autostart-enabled=true\n");
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                 QStringList{appId + ".desktop"}); // no temporary file left beside it
        QVERIFY(item.disable());
        QVERIFY(!QFile::exists(item.entryPath()));
        QVERIFY(!item.isEnabled());
        QVERIFY(item.disable()); // nothing there is no failure
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
        QVERIFY(writeFile(m_home->path() + "/.config" + obstacle, "in the way"));
        XdgAutostartLoginItem item(appId, "/usr/bin/quenzal", "Parlora - Quenzal");
        QVERIFY(!item.enable());
        QCOMPARE(item.disable(), !existingEntry);
    }

private:
    std::unique_ptr<TestHome> m_home;
};

QTEST_GUILESS_MAIN(TestXdgAutostartLoginItem)
#include "tst_xdgautostartloginitem.moc"
