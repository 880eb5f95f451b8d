// A Wayland desktop of scripts/with-desktop (QUENZAL_DESKTOP=sway or kwin) as the tests see it:
// each one hides how it is clicked on, typed into, looked at and asked about its windows. The
// tray is waybar's on both, reached as a panel reaches it, over D-Bus.
#pragma once

#include "e2eprogram.h"

#include <QImage>
#include <QJsonValue>

namespace Wayland {

// A window or layer surface, as the compositor shows it.
struct Surface
{
    QString title;
    QRect frame;         // with the compositor's frame, if it draws one
    bool framed = false; // the compositor draws a frame or title bar around it
    bool tiled = false;
    bool inTaskbar = false; // what a taskbar lists: sway's every toplevel; KWin's unless skipped
    qint64 pid = 0;
};

class Desktop
{
public:
    virtual ~Desktop() = default;
    bool isReady() const { return m_ready; } // set up to be driven
    // Every toplevel window, and every layer surface the desktop can tell about.
    virtual QList<Surface> surfaces() = 0;
    virtual QRect workArea() = 0; // the output without the panel
    virtual QImage screenshot() = 0;
    virtual bool activateIcon() = 0;                 // what a left click on the status icon does
    virtual bool activate(const QString &title) = 0; // gives the window the keyboard
    // Types into whatever has the keyboard; false where the desktop offers no way.
    virtual bool canType() const = 0;
    virtual bool type(const QString &text) = 0;

protected:
    bool m_ready = false;
};

// {x, y, width, height} as the compositors report them.
inline QRect rect(const QJsonValue &r)
{
    return QRect(r["x"].toInt(), r["y"].toInt(), r["width"].toInt(), r["height"].toInt());
}

inline bool execute(const QString &program, const QStringList &arguments,
                    QByteArray *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    const bool done = process.waitForFinished(patience) &&
                      process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (output) {
        *output = process.readAllStandardOutput();
    }
    return done;
}

// The one status item's service and object path, or none.
inline std::pair<QString, QString> statusItem()
{
    const QStringList items = Tray::statusItems();
    return items.size() == 1
               ? std::pair(items.first().section('/', 0, 0), '/' + items.first().section('/', 1))
               : std::pair(QString(), QString());
}

// The process behind the one status item.
inline qint64 statusItemPid()
{
    const QString service = statusItem().first;
    return service.isEmpty()
               ? 0
               : QDBusConnection::sessionBus().interface()->servicePid(service).value();
}

} // namespace Wayland
