#pragma once

#include <QDBusContext>
#include <QObject>

class AppDelegate;

// The running app's remote control on the session bus: the service and the object are named
// after the application id ("org.quenzal.Quenzal" at "/org/quenzal/Quenzal", interface of the
// same name), so that `quenzal --toggle`, a desktop's key binding or a script can open and close
// the popover and have text translated where no global shortcut reaches the app.
class AppControl : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    AppControl(AppDelegate &delegate, QString appId, QObject *parent = nullptr);
    ~AppControl() override;

    static QString objectPath(const QString &appId);

    // Claims the name and exports the object; false, with the reason, when the session bus is
    // not there or another program holds the name.
    bool publish(QString *reason);

public slots:
    // A method rather than a property: QtDBus would look a property up under the class's own
    // interface name, not under the one the object is exported with.
    Q_SCRIPTABLE bool IsPopoverVisible() const;
    Q_SCRIPTABLE void Toggle();
    Q_SCRIPTABLE void Show();
    Q_SCRIPTABLE void Hide();
    // "settings", "report" or "about"; any other name is refused with an error reply.
    Q_SCRIPTABLE void OpenPanel(const QString &name);
    // The selected text, else the clipboard's, into the translator, translated at once.
    Q_SCRIPTABLE void TranslateClipboard();
    Q_SCRIPTABLE void Translate(const QString &text);

private:
    AppDelegate &m_delegate;
    QString m_appId;
    bool m_published = false;
};
