#include "globalshortcut.h"

#include "portalglobalshortcut.h"
#include "unavailableglobalshortcut.h"
#include "x11globalshortcut.h"

#include <QCoreApplication>
#include <QGuiApplication>

std::unique_ptr<GlobalShortcut> GlobalShortcut::create()
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb")) {
        return std::make_unique<X11GlobalShortcut>();
    }
    if (platform.startsWith(QLatin1String("wayland"))) {
        return std::make_unique<PortalGlobalShortcut>();
    }
    return std::make_unique<UnavailableGlobalShortcut>(
        platform.isEmpty() ? QCoreApplication::translate("GlobalShortcut", "there is no display")
                           : QCoreApplication::translate("GlobalShortcut",
                                                         "the %1 platform has no global shortcuts")
                                 .arg(platform));
}
