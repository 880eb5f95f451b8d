#include "commandlinetranslator.h"
#include "deployment.h"
#include "keychainhelper.h"
#include "languagedetector.h"
#include "translationcache.h"
#include "translationservice.h"

#include <QCoreApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quenzal"));
    QCoreApplication::setApplicationName(QStringLiteral("Quenzal"));
    QCoreApplication::setApplicationVersion(Deployment::version());

    // Standard output carries translations only.
    TranslationCache::setSharedLogSink([](const QString &) {});

    LanguageDetector detector;
    CommandLineTranslator translator(TranslationService::shared(), KeychainHelper::shared(),
                                     detector);
    int status = 0;
    QTimer::singleShot(0, &app, [&] {
        QCoro::connect(translator.run(QCoreApplication::arguments()), &app, [&status](int code) {
            status = code;
            QCoreApplication::exit(code);
        });
    });
    app.exec();
    // A translation stored just now must reach the disk before the process ends.
    TranslationCache::shared().waitForPendingWrites();
    return status;
}
