#include "trayhost.h"

#include "x11display.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
constexpr int busPatience = 2000; // ms; a watcher that takes longer is not of much use

} // namespace

TrayHost::TrayHost(QObject *parent)
    : QObject(parent)
{
    m_poll.setInterval(1000);
    connect(&m_poll, &QTimer::timeout, this, &TrayHost::check);
}

bool TrayHost::hasStatusNotifierHost() const
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcherService)) {
        return false;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        watcherService, watcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, busPatience);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

bool TrayHost::hasXEmbedTray() const
{
    return X11Display::hasSelectionOwner("_NET_SYSTEM_TRAY_S0");
}

void TrayHost::watch()
{
    if (m_watching) {
        return;
    }
    m_watching = true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        m_watcher = new QDBusServiceWatcher(watcherService, bus,
                                            QDBusServiceWatcher::WatchForRegistration, this);
        connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, &TrayHost::check);
        // The watcher comes up first; the panel registers as its host a moment later.
        bus.connect(watcherService, watcherPath, watcherService,
                    QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(check()));
    }
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        m_poll.start();
    }
}

void TrayHost::check()
{
    if (!m_watching || !isAvailable()) {
        return;
    }
    m_watching = false;
    m_poll.stop();
    delete m_watcher;
    m_watcher = nullptr;
    QDBusConnection::sessionBus().disconnect(watcherService, watcherPath, watcherService,
                                             QStringLiteral("StatusNotifierHostRegistered"), this,
                                             SLOT(check()));
    emit appeared();
}
