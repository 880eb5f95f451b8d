#pragma once

#include "httpexchange.h"
#include "translationstyle.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QUrl>

#include <chrono>
#include <functional>

// The one client of DeepSeek's chat-completions endpoint: one POST per translation, the answer's
// first choice returned trimmed. Throws DeepSeekError for a bad status, a malformed body, an
// empty answer or an unsendable key (and missingApiKey for a 401 when the key was empty, so the
// user learns where to put one), and TransportError (Qt's own text) when the exchange itself
// fails. Nothing is retried.
class DeepSeekService : public QObject
{
    Q_OBJECT

public:
    struct Timeouts
    {
        std::chrono::milliseconds idle{15000};     // longest wait for further data
        std::chrono::milliseconds exchange{30000}; // longest the whole exchange may take
        std::chrono::milliseconds request{60000};  // limit on the request itself
    };
    using ApiKeyProvider = std::function<QCoro::Task<QString>()>;

    // Replies larger than this are refused as malformed; a real answer is a few kilobytes.
    static constexpr qint64 maxReplySize = 4 * 1024 * 1024;

    DeepSeekService(QUrl endpoint, ApiKeyProvider apiKey, QObject *parent = nullptr);
    DeepSeekService(QUrl endpoint, ApiKeyProvider apiKey, Timeouts timeouts,
                    QObject *parent = nullptr);
    ~DeepSeekService() override;

    QUrl endpoint() const { return m_endpoint; }
    const Timeouts &timeouts() const { return m_timeouts; }

    QCoro::Task<QString> translate(QString text, QString from, QString to, TranslationStyle style);

    // Real keys are a few dozen characters; anything far beyond is not a key.
    static constexpr qsizetype maxApiKeyLength = 1024;

    // Whether `key` can go into the Authorization header unchanged: visible ASCII only (the
    // empty key too), at most maxApiKeyLength characters. Any other key fails the call with
    // DeepSeekError::invalidApiKey.
    static bool isSendableApiKey(const QString &key);
    // The request body for one translation, compact JSON.
    static QByteArray requestBody(const QString &text, const QString &from, const QString &to,
                                  TranslationStyle style);
    // The trimmed content of the first choice; throws DeepSeekError for anything else.
    static QString parseReply(const QByteArray &body);

private:
    QUrl m_endpoint;
    ApiKeyProvider m_apiKey;
    Timeouts m_timeouts;
    HttpExchange m_http;
};
