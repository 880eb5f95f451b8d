#include "deepseekservice.h"

#include "deepseekerror.h"
#include "httpexchange.h"
#include "transporterror.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QPointer>

DeepSeekService::DeepSeekService(QUrl endpoint, ApiKeyProvider apiKey, QObject *parent)
    : DeepSeekService(std::move(endpoint), std::move(apiKey), Timeouts{}, parent)
{}

DeepSeekService::DeepSeekService(QUrl endpoint, ApiKeyProvider apiKey, Timeouts timeouts,
                                 QObject *parent)
    : QObject(parent)
    , m_endpoint(std::move(endpoint))
    , m_apiKey(std::move(apiKey))
    , m_timeouts(timeouts)
    , m_http(this)
{}

DeepSeekService::~DeepSeekService() = default;

bool DeepSeekService::isSendableApiKey(const QString &key)
{
    // Anything outside visible ASCII could end the header line or be re-encoded on the way.
    return key.size() <= maxApiKeyLength && std::all_of(key.cbegin(), key.cend(), [](QChar c) {
               return c.unicode() >= 0x21 && c.unicode() <= 0x7e;
           });
}

QByteArray DeepSeekService::requestBody(const QString &text, const QString &from, const QString &to,
                                        TranslationStyle style)
{
    const QJsonObject body{
        {QStringLiteral("model"), QStringLiteral("deepseek-chat")},
        {QStringLiteral("messages"),
         QJsonArray{
             QJsonObject{{QStringLiteral("role"), QStringLiteral("system")},
                         {QStringLiteral("content"), style.systemPrompt(from, to)}},
             QJsonObject{{QStringLiteral("role"), QStringLiteral("user")},
                         {QStringLiteral("content"), text}},
         }},
        {QStringLiteral("max_tokens"), 1024},
        {QStringLiteral("temperature"), 0.3},
        {QStringLiteral("stream"), false},
    };
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

QString DeepSeekService::parseReply(const QByteArray &body)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        throw DeepSeekError(DeepSeekError::invalidResponse);
    }
    const QJsonValue choices = document.object().value(QLatin1String("choices"));
    if (!choices.isArray() || choices.toArray().isEmpty()) {
        throw DeepSeekError(DeepSeekError::invalidResponse);
    }
    const QJsonValue first = choices.toArray().first();
    const QJsonValue message = first.toObject().value(QLatin1String("message"));
    const QJsonValue content = message.toObject().value(QLatin1String("content"));
    if (!first.isObject() || !message.isObject() || !content.isString()) {
        throw DeepSeekError(DeepSeekError::invalidResponse);
    }
    const QString text = content.toString().trimmed();
    if (text.isEmpty()) {
        throw DeepSeekError(DeepSeekError::emptyResult);
    }
    return text;
}

QCoro::Task<QString> DeepSeekService::translate(QString text, QString from, QString to,
                                                TranslationStyle style)
{
    const QByteArray body = requestBody(text, from, to, style);

    QPointer<DeepSeekService> self(this);
    const QString apiKey = co_await m_apiKey();
    if (!self) {
        throw TransportError::canceled();
    }
    if (!isSendableApiKey(apiKey)) {
        throw DeepSeekError(DeepSeekError::invalidApiKey);
    }

    QNetworkRequest request(m_endpoint);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setRawHeader(QByteArrayLiteral("Authorization"),
                         QByteArrayLiteral("Bearer ") + apiKey.toLatin1());
    const HttpExchange::Response response = co_await m_http.post(
        request, body,
        {m_timeouts.idle, std::min(m_timeouts.exchange, m_timeouts.request), maxReplySize});
    if (!self) {
        throw TransportError::canceled();
    }
    // Without any key the refusal is no network trouble: the user has a key to add.
    if (response.status == 401 && apiKey.isEmpty()) {
        throw DeepSeekError(DeepSeekError::missingApiKey);
    }
    // A redirect is refused too: it would take the key and the text to another address.
    if (response.status < 200 || response.status > 299) {
        throw DeepSeekError(DeepSeekError::networkError);
    }
    if (response.oversized) {
        throw DeepSeekError(DeepSeekError::invalidResponse);
    }
    if (response.failure) {
        throw *response.failure;
    }
    co_return parseReply(response.body);
}
