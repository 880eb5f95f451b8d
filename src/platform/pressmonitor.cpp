#include "pressmonitor.h"

#include "x11pressmonitor.h"

#include <QGuiApplication>

std::unique_ptr<PressMonitor> PressMonitor::create()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        return std::make_unique<X11PressMonitor>();
    }
    return nullptr;
}
