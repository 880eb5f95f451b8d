#pragma once

#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

#include <chrono>
#include <deque>

class QTcpSocket;

// A small HTTP/1.1 responder on 127.0.0.1 for tests. It records every request and answers with
// the scripted replies, in order, then with the default one (DeepSeek saying "Hallo").
// Connections are kept alive, so tests can see whether a client reuses them.
class TestHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QByteArray method;
        QByteArray target; // as sent: a path, or an absolute URL when sent to a proxy
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;

        QByteArray header(QByteArrayView name) const; // the first, case-insensitive
        int headerCount(QByteArrayView name) const;
    };

    struct Reply
    {
        int status = 200;
        QByteArray body{};                  // sent as application/json
        std::chrono::milliseconds delay{0}; // answer this much later
        bool stall = false;                 // never answer, keep the connection open
        bool dropConnection = false;        // close the connection, after `raw` if any
        QByteArray raw{};                   // when set, sent as-is instead of a built reply
        QList<QPair<QByteArray, QByteArray>> headers{}; // added to a built reply
    };

    explicit TestHttpServer(QObject *parent = nullptr);

    QUrl url(const QString &path = QStringLiteral("/chat/completions")) const;
    void enqueue(Reply reply) { m_script.push_back(std::move(reply)); }
    void setDefaultReply(Reply reply) { m_defaultReply = std::move(reply); }
    const QList<Request> &requests() const { return m_requests; }
    int connectionCount() const { return m_connections; }
    // Stops listening and closes every connection; url() then refuses connections.
    void close();

    // A chat-completions answer whose first choice carries `content`.
    static QByteArray completion(const QString &content);

signals:
    void requestReceived();

private:
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Reply &reply);

    QTcpServer m_server;
    std::deque<Reply> m_script;
    Reply m_defaultReply{.body = completion(QStringLiteral("Hallo"))};
    QList<Request> m_requests;
    int m_connections = 0;
};
