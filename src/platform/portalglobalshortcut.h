#pragma once

#include "globalshortcut.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QVariantMap>

class QDBusObjectPath;

// A global shortcut through the desktop portal (org.freedesktop.portal.GlobalShortcuts), the
// only way to one on Wayland: a session is created, the shortcut bound to it with our
// combination as the preferred trigger, and the desktop, possibly after asking the user, calls
// back on every press. Closing the session gives the shortcut back.
class PortalGlobalShortcut : public GlobalShortcut, protected QDBusContext
{
    Q_OBJECT

public:
    explicit PortalGlobalShortcut(QObject *parent = nullptr);
    ~PortalGlobalShortcut() override;

    void setShortcut(const QKeySequence &sequence) override;
    QKeySequence shortcut() const override;
    bool isRegistered() const override;

    // The combination in the notation of the portal's preferred_trigger ("CTRL+ALT+t"), empty
    // when it cannot be written there.
    static QString triggerText(const QKeySequence &sequence);

private slots:
    void onResponse(uint response, const QVariantMap &results);
    void onActivated(const QDBusObjectPath &session, const QString &shortcutId,
                     qulonglong timestamp, const QVariantMap &options);

private:
    enum class Step { idle, creatingSession, binding, bound };

    // Calls a portal method that answers later through a Request object's Response signal.
    void request(const QString &method, QVariantList arguments, QVariantMap options);
    void watchRequest(const QString &path);
    void bind();
    void reset();
    void fail(const QString &reason);

    QDBusConnection m_bus;
    QKeySequence m_sequence;
    Step m_step = Step::idle;
    QString m_requestPath;
    QString m_sessionPath;
    quint64 m_attempt = 0;
    quint64 m_tokens = 0;
};
