#include "quenzalapp.h"

#include "appdelegate.h"
#include "deployment.h"
#include "singleinstance.h"
#include "translationcache.h"

#include <QApplication>
#include <QSettings>

#include <cstdio>
#include <cstdlib>

namespace {

bool hasDesktop()
{
    // Without these Qt would abort with a message about plugins, not about the desktop.
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

} // namespace

int QuenzalApp::run(int argc, char *argv[])
{
    // First of all, before any window or icon: is another copy running?
    SingleInstance instance(Deployment::appId());
    switch (instance.acquire()) {
    case SingleInstance::Result::alreadyRunning:
        return 0;
    case SingleInstance::Result::unavailable:
        std::fprintf(stderr, "Parlora - Quenzal: cannot create a lock file; not checking for "
                             "another running copy.\n");
        break;
    case SingleInstance::Result::acquired:
        break;
    }
    if (!hasDesktop()) {
        std::fprintf(stderr, "Parlora - Quenzal needs a graphical desktop: neither an X11 nor "
                             "a Wayland display was found.\n");
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quenzal"));
    QApplication::setApplicationName(QStringLiteral("Quenzal"));
    QApplication::setApplicationDisplayName(QStringLiteral("Parlora - Quenzal"));
    QApplication::setApplicationVersion(Deployment::version());
    QApplication::setDesktopFileName(Deployment::appId());
    QApplication::setQuitOnLastWindowClosed(false);

    QSettings settings;
    AppDelegate delegate(settings);
    delegate.applicationDidFinishLaunching();
    // Only after the tray icon: the SVG icon engine it loads would hold the icon back.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quenzal.svg")));
    const int status = QApplication::exec();
    // A translation stored just before Quit must reach the disk.
    TranslationCache::shared().waitForPendingWrites();
    return status;
}
