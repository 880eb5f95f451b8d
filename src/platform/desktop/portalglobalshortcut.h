#pragma once

#include "globalshortcut.h"

#include <QCoro/QCoroTask>
#include <QDBusConnection>
#include <QDBusContext>
#include <QKeySequence>
#include <QVariantMap>

#include <optional>

class QDBusObjectPath;

// A global shortcut through the desktop portal (org.freedesktop.portal.GlobalShortcuts), the
// only way to one on Wayland: a session is created, the shortcut bound to it under `id`, with a
// `description` for the user and our combination as the preferred trigger, and the desktop,
// possibly after asking the user, calls back on every press. Closing the session gives the shortcut
// back; when the desktop closes it, failed() says so. Every failure is of the kind `unavailable`
// but for a combination the portal's notation cannot write: a portal does not say that another
// program holds a combination (some bind none on purpose and leave the key to the user's settings).
class PortalGlobalShortcut : public GlobalShortcut, protected QDBusContext
{
    Q_OBJECT

public:
    PortalGlobalShortcut(QString id, QString description, QObject *parent = nullptr);
    ~PortalGlobalShortcut() override;

    void setShortcut(QKeyCombination combination) override;
    QKeyCombination shortcut() const override;
    bool isRegistered() const override;

    // The combination in the notation of the portal's preferred_trigger ("CTRL+ALT+t"), empty
    // when it cannot be written there.
    static QString triggerText(QKeyCombination combination);

signals:
    // The request watched now has answered, or is no longer watched.
    void responseArrived();

private slots:
    void onResponse(uint response, const QVariantMap &results);
    void onActivated(const QDBusObjectPath &session, const QString &shortcutId,
                     qulonglong timestamp, const QVariantMap &options);
    void onSessionClosed(const QVariantMap &details);

private:
    struct Response
    {
        uint code = 0;
        QVariantMap results;
    };

    QCoro::Task<> registerShortcut(quint64 attempt);
    // Calls a portal method that answers later through a Request object's Response signal.
    // Nothing when the attempt ended meanwhile or the call failed (failed() then says why).
    QCoro::Task<std::optional<Response>> request(quint64 attempt, QString method,
                                                 QVariantList arguments, QVariantMap options);
    // The session, our one shortcut and no parent window.
    QVariantList bindArguments() const;
    void watchRequest(const QString &path);
    void watchSession(const QString &path);
    void reset();
    // Ends the attempt: the portal cannot give us the shortcut.
    void fail(const QString &reason);
    QString text() const;

    QDBusConnection m_bus;
    QString m_id;
    QString m_description;
    QKeySequence m_sequence;
    bool m_bound = false;
    QString m_requestPath;
    std::optional<Response> m_response; // the answer to the request watched now
    QString m_sessionPath;
    quint64 m_attempt = 0;
    quint64 m_tokens = 0;
};
