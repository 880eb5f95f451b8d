#include "portalglobalshortcut.h"

#include "keysymbols.h"

#include <QCoro/QCoroDBusPendingCall>
#include <QCoro/QCoroSignal>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingReply>
#include <QPointer>

#include <utility>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// The shortcuts argument of BindShortcuts, a(sa{sv}): an id and its properties.
using Shortcuts = QList<std::pair<QString, QVariantMap>>;

// A portal that is installed but not running gets started by D-Bus, which takes a moment; a
// missing one is reported at once. Longer than this, nobody is coming.
constexpr int callTimeoutMs = 10'000;

constexpr uint responseSuccess = 0;
constexpr uint responseCancelled = 1;

QString callError(const QDBusError &error, const QString &text)
{
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
        return PortalGlobalShortcut::tr("%1 cannot be registered: no desktop portal is running")
            .arg(text);
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownObject:
        return PortalGlobalShortcut::tr(
                   "%1 cannot be registered: the desktop portal offers no global shortcuts")
            .arg(text);
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return PortalGlobalShortcut::tr(
                   "%1 cannot be registered: the desktop portal does not answer")
            .arg(text);
    default:
        return PortalGlobalShortcut::tr("%1 cannot be registered: %2").arg(text, error.message());
    }
}

} // namespace

PortalGlobalShortcut::PortalGlobalShortcut(QString id, QString description, QObject *parent)
    : GlobalShortcut(parent)
    , m_bus(QDBusConnection::sessionBus())
    , m_id(std::move(id))
    , m_description(std::move(description))
{
    qDBusRegisterMetaType<Shortcuts::value_type>();
    qDBusRegisterMetaType<Shortcuts>();
    // QtDBus finds the slot's parameter types by name, which works only for types registered
    // already: without this, connecting Activated fails until something else has used the type.
    qRegisterMetaType<QDBusObjectPath>();
    if (m_bus.isConnected()) {
        m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"),
                      this, SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    }
}

PortalGlobalShortcut::~PortalGlobalShortcut()
{
    reset();
}

void PortalGlobalShortcut::setShortcut(QKeyCombination combination)
{
    reset();
    m_sequence = combination.toCombined() != 0 ? QKeySequence(combination) : QKeySequence();
    if (m_sequence.isEmpty()) {
        return;
    }
    if (triggerText(combination).isEmpty()) {
        emit failed(tr("%1 cannot be offered to the desktop portal").arg(text()),
                    Failure::unusable);
        return;
    }
    if (!m_bus.isConnected()) {
        emit failed(tr("%1 cannot be registered: there is no D-Bus session bus").arg(text()),
                    Failure::unavailable);
        return;
    }
    registerShortcut(m_attempt);
}

QKeyCombination PortalGlobalShortcut::shortcut() const
{
    return m_sequence[0];
}

bool PortalGlobalShortcut::isRegistered() const
{
    return m_bound;
}

QString PortalGlobalShortcut::triggerText(QKeyCombination combination)
{
    const QString key = KeySymbols::name(KeySymbols::fromQtKey(combination.key()));
    if (key.isEmpty()) {
        return {};
    }
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    QStringList parts;
    if (modifiers & Qt::ControlModifier) {
        parts << QStringLiteral("CTRL");
    }
    if (modifiers & Qt::AltModifier) {
        parts << QStringLiteral("ALT");
    }
    if (modifiers & Qt::ShiftModifier) {
        parts << QStringLiteral("SHIFT");
    }
    if (modifiers & Qt::MetaModifier) {
        parts << QStringLiteral("LOGO");
    }
    parts << key;
    return parts.join(QLatin1Char('+'));
}

QCoro::Task<> PortalGlobalShortcut::registerShortcut(quint64 attempt)
{
    const QPointer<PortalGlobalShortcut> self(this);
    QVariantMap sessionOptions;
    sessionOptions.insert(QStringLiteral("session_handle_token"),
                          QStringLiteral("quenzal%1").arg(++m_tokens));
    const std::optional<Response> created =
        co_await request(attempt, QStringLiteral("CreateSession"), {}, sessionOptions);
    if (!self || !created) {
        co_return;
    }
    // A string by the documentation; some portals send an object path.
    const QVariant handle = created->results.value(QStringLiteral("session_handle"));
    watchSession(handle.metaType() == QMetaType::fromType<QDBusObjectPath>()
                     ? handle.value<QDBusObjectPath>().path()
                     : handle.toString());
    if (m_sessionPath.isEmpty()) {
        fail(tr("%1 cannot be registered: the desktop portal gave no session").arg(text()));
        co_return;
    }

    const std::optional<Response> bound =
        co_await request(attempt, QStringLiteral("BindShortcuts"), bindArguments(), {});
    if (!self || !bound) {
        co_return;
    }
    m_bound = true;
    emit registered();
}

QCoro::Task<std::optional<PortalGlobalShortcut::Response>>
PortalGlobalShortcut::request(quint64 attempt, QString method, QVariantList arguments,
                              QVariantMap options)
{
    const QPointer<PortalGlobalShortcut> self(this);
    // The answer goes to a path made of our bus name and a token of our choosing, watched before
    // the call so that a quick answer cannot slip past.
    const QString token = QStringLiteral("quenzal%1").arg(++m_tokens);
    options.insert(QStringLiteral("handle_token"), token);
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    watchRequest(portalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token);

    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, method);
    call.setArguments(arguments << options);
    const QDBusPendingReply<QDBusObjectPath> reply = co_await m_bus.asyncCall(call, callTimeoutMs);
    if (!self || attempt != m_attempt) {
        co_return std::nullopt;
    }
    if (reply.isError()) {
        fail(callError(reply.error(), text()));
        co_return std::nullopt;
    }
    if (reply.value().path() != m_requestPath) {
        // Portals before 0.9 chose the path themselves.
        watchRequest(reply.value().path());
    }
    // The desktop may ask the user first: no limit on the wait.
    while (!m_response) {
        co_await qCoro(this, &PortalGlobalShortcut::responseArrived);
        if (!self || attempt != m_attempt) {
            co_return std::nullopt;
        }
    }
    const Response response = *std::exchange(m_response, std::nullopt);
    watchRequest({});
    if (response.code != responseSuccess) {
        fail(response.code == responseCancelled
                 ? tr("%1 was turned down on the desktop").arg(text())
                 : tr("%1 cannot be registered: the desktop portal failed").arg(text()));
        co_return std::nullopt;
    }
    co_return response;
}

void PortalGlobalShortcut::onResponse(uint response, const QVariantMap &results)
{
    // A late answer to a request given up on goes to a path we no longer watch, but may already
    // have been queued for delivery when we stopped watching.
    if (!calledFromDBus() || message().path() != m_requestPath) {
        return;
    }
    m_response = Response{response, results};
    emit responseArrived();
}

void PortalGlobalShortcut::onActivated(const QDBusObjectPath &session, const QString &id,
                                       qulonglong, const QVariantMap &)
{
    if (m_bound && session.path() == m_sessionPath && id == m_id) {
        emit activated();
    }
}

void PortalGlobalShortcut::onSessionClosed(const QVariantMap &)
{
    if (!calledFromDBus() || message().path() != m_sessionPath) {
        return;
    }
    // Closed already: nothing to close any more.
    watchSession({});
    fail(tr("%1 no longer works: the desktop closed the portal session").arg(text()));
}

void PortalGlobalShortcut::watchSession(const QString &path)
{
    const QString closed = QStringLiteral("Closed");
    const char *slot = SLOT(onSessionClosed(QVariantMap));
    if (!m_sessionPath.isEmpty()) {
        m_bus.disconnect(portalService, m_sessionPath, sessionInterface, closed, this, slot);
    }
    m_sessionPath = path;
    if (!path.isEmpty()) {
        m_bus.connect(portalService, path, sessionInterface, closed, this, slot);
    }
}

void PortalGlobalShortcut::watchRequest(const QString &path)
{
    const QString response = QStringLiteral("Response");
    const char *slot = SLOT(onResponse(uint, QVariantMap));
    if (!m_requestPath.isEmpty()) {
        m_bus.disconnect(portalService, m_requestPath, requestInterface, response, this, slot);
    }
    m_requestPath = path;
    m_response.reset();
    if (!path.isEmpty()) {
        m_bus.connect(portalService, path, requestInterface, response, this, slot);
    }
}

void PortalGlobalShortcut::reset()
{
    ++m_attempt;
    watchRequest({});
    // Wakes a registration waiting for an answer, which then finds its attempt over.
    emit responseArrived();
    if (!m_sessionPath.isEmpty()) {
        m_bus.asyncCall(QDBusMessage::createMethodCall(portalService, m_sessionPath,
                                                       sessionInterface, QStringLiteral("Close")));
        watchSession({});
    }
    m_bound = false;
}

void PortalGlobalShortcut::fail(const QString &reason)
{
    reset();
    emit failed(reason, Failure::unavailable);
}

QVariantList PortalGlobalShortcut::bindArguments() const
{
    const Shortcuts shortcuts{
        {m_id,
         {{QStringLiteral("description"), m_description},
          {QStringLiteral("preferred_trigger"), triggerText(m_sequence[0])}}}};
    return {QVariant::fromValue(QDBusObjectPath(m_sessionPath)), QVariant::fromValue(shortcuts),
            QString()};
}

QString PortalGlobalShortcut::text() const
{
    return m_sequence.toString(QKeySequence::NativeText);
}
