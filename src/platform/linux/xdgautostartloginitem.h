#pragma once

#include "loginitem.h"

#include <QByteArray>
#include <QString>

// The login item of freedesktop.org desktops: a desktop entry named after the application id
// in the user's autostart folder, $XDG_CONFIG_HOME/autostart (~/.config/autostart when the
// variable is unset or not absolute), which the session starts at login.
//
// The entry counts as enabled when it is there and the desktop would start it: not
// "Hidden=true", and not switched off with GNOME's "X-GNOME-Autostart-enabled=false" either,
// which GNOME's own tools write instead of removing the file. Enabling writes the whole entry
// anew (atomically, so a crash never leaves half a file for the session to trip over);
// disabling removes it.
class XdgAutostartLoginItem : public LoginItem
{
public:
    // `autostartFolder` empty: the user's autostart folder, looked up at every call.
    XdgAutostartLoginItem(QString applicationId, QString executable, QString name,
                          QString autostartFolder = {});

    QString entryPath() const;

    bool isEnabled() const override;
    bool enable() override;
    bool disable() override;

    // The entry's text for `executable`, shown under `name` by the desktop's start-up settings.
    static QByteArray entry(const QString &executable, const QString &name, const QString &icon);
    // `executable` as the value of an Exec key: quoted where the desktop entry rules ask for it,
    // '%' doubled, then escaped as every string value is.
    static QString execValue(const QString &executable);

private:
    QString autostartFolder() const;

    QString m_applicationId;
    QString m_executable;
    QString m_name;
    QString m_autostartFolder;
};
