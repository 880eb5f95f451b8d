#include "cld2languagerecognizer.h"
#include "commandlinetranslator.h"
#include "deepseekservice.h"
#include "deployment.h"
#include "keychainhelper.h"
#include "keychainsecretstore.h"
#include "languagedetector.h"
#include "preferences.h"
#include "translationcache.h"
#include "translationservice.h"
#include "whisperrecognizer.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTimer>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quenzal"));
    QCoreApplication::setApplicationName(QStringLiteral("Quenzal"));
    QCoreApplication::setApplicationVersion(Deployment::version());

    // The same settings, cache and keyring as the tray app. Standard output carries
    // translations only, so the cache keeps its load line to itself.
    QSettings settings;
    const Preferences preferences(settings);
    TranslationCache cache(TranslationCache::defaultFolder(), [](const QString &) {});
    KeychainHelper keychain(Deployment::appId(), std::make_shared<KeychainSecretStore>());
    DeepSeekService deepSeek(Deployment::deepSeekEndpoint(),
                             [&keychain] { return keychain.deepSeekApiKey(); });
    TranslationService service(cache, deepSeek);
    LanguageDetector detector(std::make_unique<Cld2LanguageRecognizer>());
    CommandLineTranslator translator(
        service, keychain, detector, preferences,
        [](const QString &modelPath) { return std::make_unique<WhisperRecognizer>(modelPath); },
        WhisperRecognizer::defaultModelPath());

    int status = 0;
    QTimer::singleShot(0, &app, [&] {
        translator.run(QCoreApplication::arguments())
            .then(
                [&status](int code) {
                    status = code;
                    QCoreApplication::exit(code);
                },
                [&status](const std::exception &) {
                    status = CommandLineTranslator::translationFailed;
                    QCoreApplication::exit(status);
                });
    });
    app.exec();
    // A translation stored just now must reach the disk before the process ends.
    cache.waitForPendingWrites();
    return status;
}
