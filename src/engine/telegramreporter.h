#pragma once

#include "httpexchange.h"
#include "quenzalerror.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

// The client of the Telegram Bot API's sendMessage method: one POST of compact JSON to
// <api base>/bot<token>/sendMessage, the text delivered as plain text. Any HTTP reply completes
// the call; what the Bot API made of the message comes back in the Reply, for the caller to
// judge. Throws TransportError (Qt's own text) when no reply arrives at all, time-out included,
// and TelegramReporter::UnusableToken, before anything is sent, for a token that cannot stand in
// the URL. Nothing is retried.
class TelegramReporter : public QObject
{
    Q_OBJECT

public:
    using TokenProvider = std::function<QCoro::Task<QString>()>;

    struct Reply
    {
        int status = 0;        // the HTTP status
        bool accepted = false; // a 2xx status and a JSON body whose "ok" is true
    };

    class UnusableToken : public QuenzalError
    {
    public:
        QString description() const override;
    };

    // For callers that count a reply the Bot API did not accept as a failure.
    class Refused : public QuenzalError
    {
    public:
        explicit Refused(int status)
            : m_status(status)
        {}
        QString description() const override;
        int status() const { return m_status; }

    private:
        int m_status;
    };

    static constexpr std::chrono::milliseconds defaultTimeout{60000};
    // Beyond this the reply is not read any further; the Bot API answers in a few hundred bytes.
    static constexpr qint64 maxReplySize = 1024 * 1024;

    TelegramReporter(QUrl apiBase, TokenProvider token, QObject *parent = nullptr);
    // `timeout` limits the whole exchange, from sending to the last byte of the reply.
    TelegramReporter(QUrl apiBase, TokenProvider token, std::chrono::milliseconds timeout,
                     QObject *parent = nullptr);
    ~TelegramReporter() override;

    QUrl apiBase() const { return m_apiBase; }
    std::chrono::milliseconds timeout() const { return m_timeout; }

    // Sends `text` to `chatId`, into the forum topic `threadId` when there is one. The token is
    // fetched afresh for every call.
    QCoro::Task<Reply> sendMessage(QString chatId, std::optional<qint64> threadId, QString text);

    // Whether `token` has the Bot API's form, the bot's number, a colon, then letters, digits,
    // "_" or "-" ("123456:ABC-def_1"). Nothing else is ever put into a URL.
    static bool isUsableToken(const QString &token);
    // <apiBase>/bot<token>/<method>, keeping a path the base may have; nothing when the token
    // is unusable or the base is not an http(s) address with a host.
    static std::optional<QUrl> methodUrl(const QUrl &apiBase, const QString &token,
                                         const QString &method);
    // Compact JSON with "chat_id" (a string), "message_thread_id" (an integer; left out without
    // a topic) and "text". Unpaired surrogates, which have no UTF-8 form, become U+FFFD.
    static QByteArray requestBody(const QString &chatId, std::optional<qint64> threadId,
                                  const QString &text);

private:
    QUrl m_apiBase;
    TokenProvider m_token;
    std::chrono::milliseconds m_timeout;
    HttpExchange m_http;
};
