#pragma once

#include <QObject>
#include <QVariantMap>

// The application-wide notifications between the shell and the popover: "showSettings",
// "showReport", "showAbout" (the shell asks the popover for a panel) and
// "popoverResizeRequested" (the popover's resize handle asks the shell for a size). Observers
// run synchronously, on the posting thread.
class AppNotifier : public QObject
{
    Q_OBJECT

public:
    static inline const QString showSettings = QStringLiteral("showSettings");
    static inline const QString showReport = QStringLiteral("showReport");
    static inline const QString showAbout = QStringLiteral("showAbout");
    static inline const QString popoverResizeRequested = QStringLiteral("popoverResizeRequested");

    static AppNotifier &instance();

    void post(const QString &name, const QVariantMap &userInfo = {});

signals:
    void posted(const QString &name, const QVariantMap &userInfo);
};
