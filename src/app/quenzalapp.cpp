#include "quenzalapp.h"

#include "appdelegate.h"
#include "cld2languagerecognizer.h"
#include "deepseekservice.h"
#include "deployment.h"
#include "keychainhelper.h"
#include "keychainsecretstore.h"
#include "languagedetector.h"
#include "portalglobalshortcut.h"
#include "preferences.h"
#include "qtspeechengine.h"
#include "singleinstance.h"
#include "telegramreporter.h"
#include "translationcache.h"
#include "translationservice.h"
#include "translatorviewmodel.h"
#include "trayhost.h"
#include "unavailabledictation.h"
#include "unavailableglobalshortcut.h"
#include "x11globalshortcut.h"
#include "x11pressmonitor.h"
#include "xdgautostartloginitem.h"

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

bool isX11()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

// X11 key grabs, or the desktop portal's GlobalShortcuts on Wayland.
std::unique_ptr<GlobalShortcut> makeGlobalShortcut()
{
    const QString platform = QGuiApplication::platformName();
    if (isX11()) {
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

// Presses in other programs can be seen on X11 only; elsewhere the popover closes when it
// loses the keyboard.
std::unique_ptr<PressMonitor> makePressMonitor()
{
    return isX11() ? std::make_unique<X11PressMonitor>() : nullptr;
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

    // The whole program, made once and handed down; it lives until Quit.
    QSettings settings;
    Preferences preferences(settings);
    TranslationCache cache(TranslationCache::defaultFolder());
    KeychainHelper keychain(Deployment::appId(), std::make_shared<KeychainSecretStore>());
    DeepSeekService deepSeek(Deployment::deepSeekEndpoint(),
                             [&keychain] { return keychain.deepSeekApiKey(); });
    TelegramReporter telegram(Deployment::telegramApiBase(),
                              [&keychain] { return keychain.telegramBotToken(); });
    TranslationService translation(cache, deepSeek);
    TranslatorViewModel viewModel(
        translation, preferences,
        std::make_unique<LanguageDetector>(std::make_unique<Cld2LanguageRecognizer>()),
        [] { return std::make_unique<QtSpeechEngine>(); });
    UnavailableDictation dictation; // Linux has no system dictation service to hand over to
    const std::unique_ptr<GlobalShortcut> shortcut = makeGlobalShortcut();
    const std::unique_ptr<PressMonitor> pressMonitor = makePressMonitor();
    TrayHost trayHost;
    XdgAutostartLoginItem loginItem(Deployment::appId(), QCoreApplication::applicationFilePath(),
                                    QGuiApplication::applicationDisplayName());

    AppDelegate delegate({.preferences = preferences,
                          .viewModel = viewModel,
                          .dictation = dictation,
                          .shortcut = *shortcut,
                          .pressMonitor = pressMonitor.get(),
                          .loginItem = loginItem,
                          .keychain = keychain,
                          .keyringAvailable = &KeychainSecretStore::isServiceAvailable,
                          .telegram = telegram,
                          .trayHost = &trayHost});
    delegate.applicationDidFinishLaunching();
    // Only after the tray icon: the SVG icon engine it loads would hold the icon back.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quenzal.svg")));
    const int status = QApplication::exec();
    // A translation stored just before Quit must reach the disk.
    cache.waitForPendingWrites();
    return status;
}
