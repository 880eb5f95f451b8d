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

QString buildNumber()
{
    return QString::fromUtf8(Config::buildNumber);
}

QUrl telegramApiBase()
{
    return QUrl(QString::fromUtf8(Config::telegramApiBase));
}

QString reportChatId()
{
    return QString::fromUtf8(Config::reportChatId);
}

std::optional<qint64> reportThreadId()
{
    if (Config::reportThreadId <= 0) {
        return std::nullopt;
    }
    return qint64(Config::reportThreadId);
}

QUrl websiteUrl()
{
    return QUrl(QString::fromUtf8(Config::websiteUrl));
}

QUrl whisperModelBaseUrl()
{
    return QUrl(QString::fromUtf8(Config::whisperModelBaseUrl));
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
