// cachewriter FOLDER PREFIX: stores 150 translations, each written out before the next.
#include "translationcache.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TranslationCache cache(QString::fromLocal8Bit(argv[1]), [](const QString &) {});
    for (int i = 0; i < 150; ++i) {
        cache.set(QString::fromLocal8Bit(argv[2]) + QString::number(i), QStringLiteral("t"));
        cache.waitForPendingWrites();
    }
    return 0;
}
