#pragma once

#include <QDBusContext>
#include <QObject>

class AppDelegate;

// The running app's remote control on the session bus: the service and the object are named
// after the application id ("org.quenzal.Quenzal" at "/org/quenzal/Quenzal", interface of the
// same name), so that `quenzal --toggle`, a desktop's key binding or a script can open and close
// the popover where no global shortcut reaches the app.
class AppControl : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_PROPERTY(bool PopoverVisible READ isPopoverVisible)

public:
    AppControl(AppDelegate &delegate, QString appId, QObject *parent = nullptr);
    ~AppControl() override;

    static QString objectPath(const QString &appId);

    // Claims the name and exports the object; false, with the reason, when the session bus is
    // not there or another program holds the name.
    bool publish(QString *reason);

    bool isPopoverVisible() const;

public slots:
    Q_SCRIPTABLE void Toggle();
    Q_SCRIPTABLE void Show();
    Q_SCRIPTABLE void Hide();
    // "settings", "report" or "about"; any other name is refused with an error reply.
    Q_SCRIPTABLE void OpenPanel(const QString &name);

private:
    AppDelegate &m_delegate;
    QString m_appId;
    bool m_published = false;
};
