#include "appcontrol.h"

#include "appdelegate.h"
#include "appnotifier.h"
#include "popoverwindow.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTimer>

AppControl::AppControl(AppDelegate &delegate, QString appId, QObject *parent)
    : QObject(parent)
    , m_delegate(delegate)
    , m_appId(std::move(appId))
{}

AppControl::~AppControl()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.objectRegisteredAt(objectPath(m_appId)) == this) {
        bus.unregisterObject(objectPath(m_appId));
    }
    if (m_published) {
        bus.unregisterService(m_appId);
    }
}

QString AppControl::objectPath(const QString &appId)
{
    QString path = QLatin1Char('/') + appId;
    path.replace(QLatin1Char('.'), QLatin1Char('/'));
    path.replace(QLatin1Char('-'), QLatin1Char('_')); // allowed in bus names, not in paths
    return path;
}

bool AppControl::publish(QString *reason)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        *reason = tr("there is no D-Bus session bus (%1)").arg(bus.lastError().message());
        return false;
    }
    // The object first, so that a call sent as soon as the name shows finds it. It stays when
    // the name cannot be had: without the name nobody addresses it.
    if (bus.objectRegisteredAt(objectPath(m_appId)) != this &&
        !bus.registerObject(objectPath(m_appId), m_appId, this,
                            QDBusConnection::ExportScriptableSlots)) {
        *reason = tr("the object %1 cannot be exported").arg(objectPath(m_appId));
        return false;
    }
    // Not queued: a program holding the name now would get the calls meant for this copy.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(m_appId, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        const QString owner = bus.interface()->serviceOwner(m_appId).value();
        *reason = reply.isValid()
                      ? tr("the name %1 is held by another program (%2)").arg(m_appId, owner)
                      : reply.error().message();
        return false;
    }
    m_published = true;
    return true;
}

bool AppControl::IsPopoverVisible() const
{
    return m_delegate.popover() && m_delegate.popover()->isVisible();
}

// The calls return at once and act on the next turn of the event loop, so the caller is not
// kept waiting for the popover to paint.
void AppControl::Toggle()
{
    QTimer::singleShot(0, &m_delegate, &AppDelegate::togglePopover);
}

void AppControl::Show()
{
    QTimer::singleShot(0, &m_delegate, &AppDelegate::showPopover);
}

void AppControl::Hide()
{
    QTimer::singleShot(0, &m_delegate, &AppDelegate::closePopover);
}

void AppControl::OpenPanel(const QString &name)
{
    static const QHash<QString, QString> notifications{
        {QStringLiteral("settings"), AppNotifier::showSettings},
        {QStringLiteral("report"), AppNotifier::showReport},
        {QStringLiteral("about"), AppNotifier::showAbout},
    };
    const auto notification = notifications.constFind(name);
    if (notification == notifications.cend()) {
        if (calledFromDBus()) {
            sendErrorReply(
                QDBusError::InvalidArgs,
                tr("no panel is called \"%1\"; try settings, report or about").arg(name));
        }
        return;
    }
    QTimer::singleShot(0, &m_delegate,
                       [this, name = *notification] { m_delegate.openPanel(name); });
}

void AppControl::TranslateClipboard()
{
    QTimer::singleShot(0, &m_delegate, &AppDelegate::translateSelection);
}

void AppControl::Translate(const QString &text)
{
    QTimer::singleShot(0, &m_delegate, [this, text] { m_delegate.translateText(text); });
}
