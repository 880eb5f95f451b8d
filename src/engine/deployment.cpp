#include "deployment.h"

#include "deploymentconfig.h"

namespace Deployment {

QString appId()
{
    return QString::fromUtf8(Config::appId);
}

QString version()
{
    return QString::fromUtf8(Config::appVersion);
}

QUrl deepSeekEndpoint()
{
    return QUrl(QString::fromUtf8(Config::deepSeekEndpoint));
}

QByteArrayView deepSeekKeyBytes()
{
    return QByteArrayView(Config::deepSeekKeyBytes, Config::deepSeekKeyLength);
}

quint8 deepSeekKeyByte()
{
    return Config::deepSeekKeyByte;
}

QByteArrayView telegramTokenBytes()
{
    return QByteArrayView(Config::telegramTokenBytes, Config::telegramTokenLength);
}

quint8 telegramTokenByte()
{
    return Config::telegramTokenByte;
}

} // namespace Deployment
