#include "loginitem.h"

#include "xdgautostartloginitem.h"

#include <QCoreApplication>
#include <QGuiApplication>

std::unique_ptr<LoginItem> LoginItem::create(const QString &applicationId)
{
    return std::make_unique<XdgAutostartLoginItem>(applicationId,
                                                   QCoreApplication::applicationFilePath(),
                                                   QGuiApplication::applicationDisplayName());
}
