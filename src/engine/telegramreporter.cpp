#include "telegramreporter.h"

#include "httpexchange.h"
#include "transporterror.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>

#include <algorithm>

namespace {

QString withoutLoneSurrogates(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            text[i] = QChar::ReplacementCharacter;
        }
    }
    return text;
}

bool acceptedBy(int status, const QByteArray &body)
{
    if (status < 200 || status > 299) {
        return false;
    }
    const QJsonDocument document = QJsonDocument::fromJson(body);
    return document.isObject() && document.object().value(QLatin1String("ok")) == QJsonValue(true);
}

} // namespace

QString TelegramReporter::UnusableToken::description() const
{
    return QStringLiteral("The Telegram bot token cannot be used in a request");
}

QString TelegramReporter::Refused::description() const
{
    return QStringLiteral("The Telegram Bot API did not accept the message (HTTP status %1)")
        .arg(m_status);
}

TelegramReporter::TelegramReporter(QUrl apiBase, TokenProvider token, QObject *parent)
    : TelegramReporter(std::move(apiBase), std::move(token), defaultTimeout, parent)
{}

TelegramReporter::TelegramReporter(QUrl apiBase, TokenProvider token,
                                   std::chrono::milliseconds timeout, QObject *parent)
    : QObject(parent)
    , m_apiBase(std::move(apiBase))
    , m_token(std::move(token))
    , m_timeout(timeout)
    , m_http(this)
{}

TelegramReporter::~TelegramReporter() = default;

bool TelegramReporter::isUsableToken(const QString &token)
{
    static const QRegularExpression form(QStringLiteral("^[0-9]+:[A-Za-z0-9_-]+$"));
    return form.match(token).hasMatch();
}

std::optional<QUrl> TelegramReporter::methodUrl(const QUrl &apiBase, const QString &token,
                                                const QString &method)
{
    const QString scheme = apiBase.scheme();
    if (!isUsableToken(token) || !apiBase.isValid() || apiBase.host().isEmpty() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http"))) {
        return std::nullopt;
    }
    QString path = apiBase.path(QUrl::FullyEncoded);
    while (path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    QUrl url = apiBase.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment);
    url.setPath(path + QLatin1String("/bot") + token + QLatin1Char('/') + method, QUrl::StrictMode);
    if (!url.isValid()) {
        return std::nullopt;
    }
    return url;
}

QByteArray TelegramReporter::requestBody(const QString &chatId, std::optional<qint64> threadId,
                                         const QString &text)
{
    QJsonObject body{
        {QStringLiteral("chat_id"), chatId},
        {QStringLiteral("text"), withoutLoneSurrogates(text)},
    };
    if (threadId) {
        body.insert(QStringLiteral("message_thread_id"), *threadId);
    }
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

QCoro::Task<TelegramReporter::Reply>
TelegramReporter::sendMessage(QString chatId, std::optional<qint64> threadId, QString text)
{
    QPointer<TelegramReporter> self(this);
    const QString token = co_await m_token();
    if (!self) {
        throw TransportError::canceled();
    }
    const std::optional<QUrl> url = methodUrl(m_apiBase, token, QStringLiteral("sendMessage"));
    if (!url) {
        throw UnusableToken();
    }

    QNetworkRequest request(*url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    const HttpExchange::Response response =
        co_await m_http.post(request, requestBody(chatId, threadId, text),
                             {std::chrono::milliseconds(0), m_timeout, maxReplySize});
    if (!self) {
        throw TransportError::canceled();
    }
    if (response.status == 0) {
        throw TransportError(QNetworkReply::ProtocolFailure,
                             QCoreApplication::translate("QNetworkReply", "Protocol error"));
    }
    // A status means the server had the request: whatever came of it, it was delivered. A body
    // cut short, by the size cap or the connection, does not parse.
    Reply result;
    result.status = response.status;
    result.accepted =
        !response.oversized && !response.failure && acceptedBy(result.status, response.body);
    co_return result;
}
