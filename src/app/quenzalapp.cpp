#include "quenzalapp.h"

#include "appcontrol.h"
#include "appdelegate.h"
#include "cld2languagerecognizer.h"
#include "controlcommand.h"
#include "deepseekservice.h"
#include "deployment.h"
#include "dictation.h"
#include "displayprobe.h"
#include "keychainhelper.h"
#include "keychainsecretstore.h"
#include "languagedetector.h"
#include "layershell.h"
#include "modelstore.h"
#include "moduledictationbackend.h"
#include "portalglobalshortcut.h"
#include "preferences.h"
#include "qtselectionreader.h"
#include "qtspeechengine.h"
#include "singleinstance.h"
#include "telegramreporter.h"
#include "translationcache.h"
#include "translationservice.h"
#include "translatorviewmodel.h"
#include "trayhost.h"
#include "unavailableglobalshortcut.h"
#include "x11globalshortcut.h"
#include "x11pressmonitor.h"
#include "x11selectionreader.h"
#include "xdgautostartloginitem.h"

#include <QApplication>
#include <QCoreApplication>
#include <QSettings>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

// Picks the display that answers where the environment names one that does not (a Wayland
// socket left behind, an X server gone): Qt would end the program there. False, with the
// reason, when none does.
bool chooseDisplay(QString *reason)
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        return true; // the user's choice
    }
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    const QByteArray x11 = qgetenv("DISPLAY");
    const bool waylandAnswers = !wayland.isEmpty() && DisplayProbe::waylandAnswers();
    if (waylandAnswers) {
        return true;
    }
    const bool x11Answers = !x11.isEmpty() && DisplayProbe::x11Answers();
    if (x11Answers) {
        if (!wayland.isEmpty()) {
            std::fprintf(stderr,
                         "Parlora - Quenzal: the Wayland display \"%s\" does not answer; using "
                         "the X11 display \"%s\".\n",
                         wayland.constData(), x11.constData());
            qputenv("QT_QPA_PLATFORM", "xcb");
        }
        return true;
    }
    if (wayland.isEmpty() && x11.isEmpty()) {
        *reason = QStringLiteral("neither an X11 nor a Wayland display was found");
    } else {
        QStringList dead;
        if (!wayland.isEmpty()) {
            dead << QStringLiteral("the Wayland display \"%1\"")
                        .arg(QString::fromLocal8Bit(wayland));
        }
        if (!x11.isEmpty()) {
            dead << QStringLiteral("the X11 display \"%1\"").arg(QString::fromLocal8Bit(x11));
        }
        *reason = dead.join(QStringLiteral(" and ")) + (dead.size() == 1
                                                            ? QStringLiteral(" does not answer")
                                                            : QStringLiteral(" do not answer"));
    }
    return false;
}

// A Wayland session, whether the app talks Wayland or goes through XWayland.
bool isWaylandSession()
{
    return qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qgetenv("XDG_SESSION_TYPE") == QByteArrayLiteral("wayland");
}

// An X server of its own: through XWayland, X11 sees only the X11 windows, not the desktop.
bool isX11()
{
    return QGuiApplication::platformName() == QLatin1String("xcb") && !isWaylandSession();
}

// X11 key grabs, or the desktop portal's GlobalShortcuts on Wayland, natively or through
// XWayland (where a grab would work only while an X11 window has the keyboard).
std::unique_ptr<GlobalShortcut> makeGlobalShortcut(Preferences::ShortcutAction action)
{
    const QString platform = QGuiApplication::platformName();
    if (isX11()) {
        return std::make_unique<X11GlobalShortcut>();
    }
    if (platform.startsWith(QLatin1String("wayland")) ||
        (platform == QLatin1String("xcb") && isWaylandSession())) {
        const QString name = QGuiApplication::applicationDisplayName();
        return action == Preferences::ShortcutAction::show
                   ? std::make_unique<PortalGlobalShortcut>(
                         QStringLiteral("toggle"),
                         QCoreApplication::translate("GlobalShortcut", "Show or hide %1").arg(name))
                   : std::make_unique<PortalGlobalShortcut>(
                         QStringLiteral("translate-clipboard"),
                         QCoreApplication::translate("GlobalShortcut",
                                                     "Translate the selected text with %1")
                             .arg(name));
    }
    return std::make_unique<UnavailableGlobalShortcut>(
        platform.isEmpty() ? QCoreApplication::translate("GlobalShortcut", "there is no display")
                           : QCoreApplication::translate("GlobalShortcut",
                                                         "the %1 platform has no global shortcuts")
                                 .arg(platform));
}

// X11's selections, read without waiting long for a frozen owner, wherever there is an X server
// (through XWayland too, which hands Wayland's selections to X11 programs); elsewhere Qt's
// clipboard.
std::unique_ptr<SelectionReader> makeSelectionReader()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        return std::make_unique<X11SelectionReader>();
    }
    return std::make_unique<QtSelectionReader>();
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
    using Action = ControlCommand::Action;
    const ControlCommand::Parsed command = ControlCommand::parse(argc, argv);
    if (!command.error.isEmpty()) {
        std::fprintf(stderr, "Parlora - Quenzal: %s\n\n%s", qPrintable(command.error),
                     qPrintable(ControlCommand::usage()));
        return 2;
    }
    if (command.action == Action::help) {
        std::fputs(qPrintable(ControlCommand::usage()), stdout);
        return 0;
    }
    // First of all, before any window or icon: is another copy running? A plain second start
    // leaves it alone; a command goes to it.
    SingleInstance instance(Deployment::appId());
    switch (instance.acquire()) {
    case SingleInstance::Result::alreadyRunning: {
        if (command.action == Action::none) {
            return 0;
        }
        QCoreApplication client(argc, argv);
        return ControlCommand::send(command, Deployment::appId(), instance.runningProcessId());
    }
    case SingleInstance::Result::unavailable:
        std::fprintf(stderr, "Parlora - Quenzal: cannot create a lock file; not checking for "
                             "another running copy.\n");
        break;
    case SingleInstance::Result::acquired:
        if (command.action == Action::hide) {
            return 0; // nothing is open; no reason to start
        }
        break;
    }
    if (QString reason; !chooseDisplay(&reason)) {
        std::fprintf(stderr, "Parlora - Quenzal needs a graphical desktop: %s.\n",
                     qPrintable(reason));
        return 1;
    }

    if (isWaylandSession()) {
        LayerShell::prepareProcess();
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
    ModuleDictationBackend dictationBackend;
    ModelStore models(ModelCatalogue::standard(), Deployment::whisperModelBaseUrl());
    Dictation dictation(dictationBackend, models, preferences, viewModel);
    const std::unique_ptr<GlobalShortcut> shortcut =
        makeGlobalShortcut(Preferences::ShortcutAction::show);
    const std::unique_ptr<GlobalShortcut> clipboardShortcut =
        makeGlobalShortcut(Preferences::ShortcutAction::translateClipboard);
    const std::unique_ptr<SelectionReader> selectionReader = makeSelectionReader();
    const std::unique_ptr<PressMonitor> pressMonitor = makePressMonitor();
    TrayHost trayHost;
    XdgAutostartLoginItem loginItem(Deployment::appId(), QCoreApplication::applicationFilePath(),
                                    QGuiApplication::applicationDisplayName());

    AppDelegate delegate({.preferences = preferences,
                          .viewModel = viewModel,
                          .dictation = dictation,
                          .shortcut = *shortcut,
                          .clipboardShortcut = *clipboardShortcut,
                          .selectionReader = *selectionReader,
                          .pressMonitor = pressMonitor.get(),
                          .loginItem = loginItem,
                          .keychain = keychain,
                          .keyringAvailable = &KeychainSecretStore::isServiceAvailable,
                          .telegram = telegram,
                          .trayHost = &trayHost});
    delegate.applicationDidFinishLaunching();
    AppControl control(delegate, Deployment::appId());
    if (QString reason; !control.publish(&reason)) {
        std::fprintf(stderr,
                     "Parlora - Quenzal: `quenzal --toggle` and other commands cannot reach this "
                     "copy: %s\n",
                     qPrintable(reason));
    }
    switch (command.action) {
    case Action::show:
    case Action::toggle:
        QTimer::singleShot(0, &delegate, &AppDelegate::showPopover);
        break;
    case Action::translateClipboard:
        QTimer::singleShot(0, &delegate, &AppDelegate::translateSelection);
        break;
    case Action::translate:
        QTimer::singleShot(0, &delegate, [&] { delegate.translateText(command.text); });
        break;
    case Action::none:
    case Action::hide:
    case Action::help:
        break;
    }
    // Only after the tray icon: the SVG icon engine it loads would hold the icon back.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quenzal.svg")));
    const int status = QApplication::exec();
    // A translation stored just before Quit must reach the disk.
    cache.waitForPendingWrites();
    return status;
}
