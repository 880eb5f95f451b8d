// A Wayland desktop of scripts/with-desktop (QUENZAL_DESKTOP=sway or kwin) as the tests see it:
// each one hides how it is clicked on, typed into, looked at and asked about its windows. The
// tray is waybar's on both, reached as a panel reaches it, over D-Bus.
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QImage>
#include <QProcess>
#include <QRect>

#include <optional>
#include <utility>

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

// The watcher's StatusNotifierItems, as "service/path" (waybar's tray module is the watcher).
inline QStringList statusItems()
{
    QDBusMessage get =
        QDBusMessage::createMethodCall("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                       "org.freedesktop.DBus.Properties", "Get");
    get << "org.kde.StatusNotifierWatcher"
        << "RegisteredStatusNotifierItems";
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get);
    return reply.arguments().isEmpty()
               ? QStringList{}
               : reply.arguments().first().value<QDBusVariant>().variant().toStringList();
}

// A call on the one item there is, as the panel makes it.
inline QDBusMessage callItem(const QString &interface, const QString &method,
                             const QVariantList &arguments = {})
{
    const QStringList items = statusItems();
    if (items.size() != 1) {
        return QDBusMessage::createError(QDBusError::Failed, "not one status item");
    }
    const qsizetype slash = items.first().indexOf('/');
    QDBusMessage call = QDBusMessage::createMethodCall(items.first().left(slash),
                                                       items.first().mid(slash), interface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call);
}

// The process behind the one status item.
inline qint64 statusItemPid()
{
    const QStringList items = statusItems();
    return items.size() == 1 ? QDBusConnection::sessionBus()
                                   .interface()
                                   ->servicePid(items.first().section('/', 0, 0))
                                   .value()
                             : 0;
}

// The item's menu as the panel finds it in the exported DBusMenu: its service and path.
inline std::pair<QString, QString> menuObject()
{
    const QDBusMessage menu =
        callItem("org.freedesktop.DBus.Properties", "Get", {"org.kde.StatusNotifierItem", "Menu"});
    const QStringList items = statusItems();
    return menu.type() == QDBusMessage::ReplyMessage && !items.isEmpty()
               ? std::pair(items.first().section('/', 0, 0), menu.arguments()
                                                                 .first()
                                                                 .value<QDBusVariant>()
                                                                 .variant()
                                                                 .value<QDBusObjectPath>()
                                                                 .path())
               : std::pair(QString(), QString());
}

// The entries of the menu's first level that a user can pick, in order: their ids and labels
// without the mnemonic.
inline QList<std::pair<int, QString>> menuEntries()
{
    const auto [service, path] = menuObject();
    QDBusMessage layout =
        QDBusMessage::createMethodCall(service, path, "com.canonical.dbusmenu", "GetLayout");
    layout << 0 << 1 << QStringList{"label", "type", "visible", "enabled"};
    const QDBusMessage reply = QDBusConnection::sessionBus().call(layout);
    QList<std::pair<int, QString>> entries;
    if (reply.arguments().size() != 2) {
        return entries;
    }
    // (ia{sv}av): an entry, its properties and its children, each a variant of the same.
    const auto entry = [](const QDBusArgument &argument) {
        int id = 0;
        QVariantMap properties;
        argument.beginStructure();
        argument >> id >> properties;
        argument.beginArray();
        while (!argument.atEnd()) {
            qdbus_cast<QDBusVariant>(argument); // the next level: not asked for
        }
        argument.endArray();
        argument.endStructure();
        return std::pair(id, properties);
    };
    const QDBusArgument root = reply.arguments().at(1).value<QDBusArgument>();
    root.beginStructure();
    int id = 0;
    QVariantMap properties;
    root >> id >> properties;
    root.beginArray();
    while (!root.atEnd()) {
        const auto [childId, child] =
            entry(qdbus_cast<QDBusVariant>(root).variant().value<QDBusArgument>());
        if (child.value("type").toString() != "separator" &&
            child.value("visible", true).toBool() && child.value("enabled", true).toBool()) {
            entries.append({childId, child.value("label").toString().remove('&')});
        }
    }
    root.endArray();
    root.endStructure();
    return entries;
}

// Picks an entry as the panel does when it is clicked.
inline bool clickMenuEntry(int id)
{
    const auto [service, path] = menuObject();
    QDBusMessage event =
        QDBusMessage::createMethodCall(service, path, "com.canonical.dbusmenu", "Event");
    event << id << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(0)) << 0u;
    return QDBusConnection::sessionBus().call(event).type() == QDBusMessage::ReplyMessage;
}

class Desktop
{
public:
    virtual ~Desktop() = default;
    // Every toplevel window, and every layer surface the desktop can tell about.
    virtual QList<Surface> surfaces() = 0;
    // Where normal windows go: the output without the panel.
    virtual QRect workArea() = 0;
    virtual QImage screenshot() = 0;
    // What a left click on the status icon does.
    virtual bool activateIcon() = 0;
    // Opens the status icon's menu as the panel does; then picks the entry of that label.
    virtual bool openMenu() = 0;
    virtual bool pickFromMenu(const QString &label) = 0;
    // Gives the keyboard to the window of that title.
    virtual bool activate(const QString &title) = 0;
    // Types into whatever has the keyboard; false where the desktop offers no way.
    virtual bool canType() const = 0;
    virtual bool type(const QString &text) = 0;
};

inline bool execute(const QString &program, const QStringList &arguments,
                    QByteArray *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    const bool done = process.waitForFinished(30'000) &&
                      process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (output) {
        *output = process.readAllStandardOutput();
    }
    return done;
}

} // namespace Wayland
