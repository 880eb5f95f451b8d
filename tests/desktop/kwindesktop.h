// KWin's virtual output: KWin 5.27 offers clients no virtual pointer or keyboard, so the tray is
// driven the way a panel drives it (the item's Activate), windows are
// looked up and activated by KWin scripts that report back over D-Bus, and pictures come from
// org.kde.KWin.ScreenShot2 (scripts/with-wayland-desktop lets the test's program use it).
#pragma once

#include "waylanddesktop.h"

#include <QDBusPendingCall>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryFile>

#include <fcntl.h>
#include <unistd.h>

namespace Wayland {

// Where the scripts report to: a service of the test's own on the desktop's bus.
class KWinScriptReports : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.quenzal.DesktopTest")
public:
    QString last;
public slots:
    void report(const QString &json) { last = json; }
};

class KWinDesktop : public Desktop
{
public:
    KWinDesktop()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        m_ready = bus.registerService("org.quenzal.DesktopTest") &&
                  bus.registerObject("/", &m_reports, QDBusConnection::ExportAllSlots);
    }

    QList<Surface> surfaces() override
    {
        QList<Surface> found;
        for (const QJsonValue w :
             run("workspace.clientList().filter(w => !w.popupWindow).map(w => ({"
                 "caption: w.caption, x: w.frameGeometry.x, y: w.frameGeometry.y, "
                 "width: w.frameGeometry.width, height: w.frameGeometry.height, "
                 "noBorder: w.noBorder, skipTaskbar: w.skipTaskbar, pid: w.pid}))")
                 .array()) {
            found.append({w["caption"].toString(), rect(w), !w["noBorder"].toBool(), false,
                          !w["skipTaskbar"].toBool(), w["pid"].toInteger()});
        }
        return found;
    }

    QRect workArea() override
    {
        return rect(
            run("(a => ({x: a.x, y: a.y, width: a.width, height: a.height}))(workspace.clientArea("
                "KWin.MaximizeArea, workspace.activeScreen, workspace.currentDesktop))")
                .object());
    }

    // The raw image comes through a pipe, read while KWin answers: it may write before it does.
    // The end is known from the answer's size, not from the pipe's end: the call keeps a copy of
    // the writing end open on this side.
    QImage screenshot() override
    {
        int pipe[2];
        if (::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            return {};
        }
        QDBusMessage capture = QDBusMessage::createMethodCall(
            "org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureArea");
        capture << 0 << 0 << 1280u << 800u << QVariantMap{{"native-resolution", true}}
                << QVariant::fromValue(QDBusUnixFileDescriptor(pipe[1]));
        const QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(capture);
        ::close(pipe[1]);
        QByteArray data;
        QVariantMap image;
        const auto complete = [&] {
            char buffer[65536];
            for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;) {
                data.append(buffer, n);
            }
            if (!pending.isFinished() || pending.isError()) {
                return pending.isFinished();
            }
            image = qdbus_cast<QVariantMap>(pending.reply().arguments().value(0));
            return data.size() >= image["stride"].toLongLong() * image["height"].toLongLong();
        };
        const bool read = QTest::qWaitFor(complete, patience);
        ::close(pipe[0]);
        if (!read || pending.isError() || image["height"].toInt() <= 0) {
            qWarning() << "KWin took no picture:" << pending.error().message();
            return {};
        }
        return QImage(reinterpret_cast<const uchar *>(data.constData()), image["width"].toInt(),
                      image["height"].toInt(), image["stride"].toInt(),
                      QImage::Format(image["format"].toInt()))
            .convertToFormat(QImage::Format_RGB32);
    }

    bool activateIcon() override
    {
        const auto [service, path] = statusItem();
        return !service.isEmpty() &&
               callDBus(service, path, "org.kde.StatusNotifierItem", "Activate", {0, 0}).type() ==
                   QDBusMessage::ReplyMessage;
    }

    bool activate(const QString &title) override
    {
        return run("workspace.clientList().filter(w => w.caption == " +
                   QJsonDocument(QJsonArray{title}).toJson(QJsonDocument::Compact) +
                   "[0]).map(w => { workspace.activeClient = w; return true; })")
                   .array()
                   .size() == 1;
    }

    // KWin takes typed keys from its fake-input protocol only, which needs a client of its own.
    bool canType() const override { return false; }
    bool type(const QString &) override { return false; }

private:
    // Runs a script in KWin and returns the value of `expression`, reported back over D-Bus.
    QJsonDocument run(const QString &expression)
    {
        QTemporaryFile script(QDir::tempPath() + "/kwin-script-XXXXXX.js");
        const QString name = QStringLiteral("quenzal-test-%1").arg(++m_scripts);
        const QByteArray source = "callDBus('org.quenzal.DesktopTest', '/', "
                                  "'org.quenzal.DesktopTest', 'report', JSON.stringify(" +
                                  expression.toUtf8() + "));\n";
        if (!script.open() || script.write(source) != source.size()) {
            return {};
        }
        script.close();
        m_reports.last.clear();
        const auto scripting = [](const QString &method, const QVariantList &arguments = {}) {
            callDBus("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", method, arguments);
        };
        scripting("loadScript", {script.fileName(), name});
        scripting("start");
        const bool reported =
            QTest::qWaitFor([this] { return !m_reports.last.isEmpty(); }, patience);
        scripting("unloadScript", {name});
        if (!reported) {
            qWarning("KWin's script never reported: %s", qPrintable(expression));
        }
        return QJsonDocument::fromJson(m_reports.last.toUtf8());
    }

    KWinScriptReports m_reports;
    int m_scripts = 0;
};

} // namespace Wayland
