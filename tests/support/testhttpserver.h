#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

#include <chrono>
#include <deque>

class QTcpSocket;

// A small HTTP/1.1 responder on 127.0.0.1 for tests. It records every request and answers
// with scripted replies, in order; when the script runs out it repeats the default reply.
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
        int connection = 0; // 1 for the first connection accepted, 2 for the next, ...

        QByteArray header(QByteArrayView name) const; // first match, case-insensitive
        int headerCount(QByteArrayView name) const;
    };

    struct Reply
    {
        int status = 200;
        QByteArray body{};
        QByteArray contentType = "application/json";
        std::chrono::milliseconds delay{0}; // answer this much later
        bool stall = false;                 // never answer, keep the connection open
        bool dropConnection = false;        // close the connection, after `raw` if any
        QByteArray raw{};                   // when set, sent as-is instead of a built reply
        QList<QPair<QByteArray, QByteArray>> headers{}; // added to a built reply
    };

    explicit TestHttpServer(QObject *parent = nullptr);
    ~TestHttpServer() override;

    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString &path = QStringLiteral("/chat/completions")) const;

    void enqueue(Reply reply);
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
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Reply &reply);

    QTcpServer m_server;
    std::deque<Reply> m_script;
    Reply m_defaultReply;
    QList<Request> m_requests;
    int m_connections = 0;
};
