#include "appnotifier.h"

AppNotifier &AppNotifier::instance()
{
    static AppNotifier notifier;
    return notifier;
}

void AppNotifier::post(const QString &name, const QVariantMap &userInfo)
{
    emit posted(name, userInfo);
}
