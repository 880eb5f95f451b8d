// Stores COUNT translations into the cache in FOLDER, each written out before the next, as
// another of our programs on the machine would: cachewriter FOLDER PREFIX COUNT
#include "translationcache.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        return 2;
    }
    TranslationCache cache(QString::fromLocal8Bit(argv[1]), [](const QString &) {});
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    const int count = QByteArray(argv[3]).toInt();
    for (int i = 0; i < count; ++i) {
        cache.set(prefix + QString::number(i), QStringLiteral("translation %1").arg(i));
        cache.waitForPendingWrites();
    }
    return 0;
}
