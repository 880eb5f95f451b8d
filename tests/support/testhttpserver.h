#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <chrono>

// An HTTP/1.1 server on 127.0.0.1 that records every request and answers, over kept-alive
// connections, with the scripted replies in order, then with the default one (DeepSeek: "Hallo").
class TestHttpServer : public QObject
{
public:
    struct Request
    {
        QByteArray method;
        QByteArray target; // as sent: a path, or an absolute URL when sent to a proxy
        QHash<QByteArray, QByteArray> headers; // by lower-case name
        QByteArray body;
        QByteArray header(QByteArrayView name) const
        {
            return headers.value(name.toByteArray().toLower());
        }
    };

    struct Reply
    {
        int status = 200;
        QByteArray body{};                  // sent as application/json
        std::chrono::milliseconds delay{0}; // answer this much later
        bool stall = false;                 // never answer, keep the connection open
        bool endless = false;               // a chunked body that never ends
        bool ranges = false;      // honour "Range: bytes=<first>-": 206 with that part, or 416
        qsizetype dropAfter = -1; // close the connection after this much of the body
        QList<QPair<QByteArray, QByteArray>> headers{};
    };
    explicit TestHttpServer(QObject *parent = nullptr)
        : QObject(parent)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++m_connections;
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [=, this] { onReadyRead(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        if (!m_server.listen(QHostAddress::LocalHost)) {
            qFatal("TestHttpServer: cannot listen: %s", qPrintable(m_server.errorString()));
        }
    }
    QUrl url(const QString &path = QStringLiteral("/chat/completions")) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    void enqueue(Reply reply) { m_script.push_back(std::move(reply)); }
    void setDefaultReply(Reply reply) { m_defaultReply = std::move(reply); }
    const QList<Request> &requests() const { return m_requests; }
    int connectionCount() const { return m_connections; }
    // Stops listening and closes every connection; url() then refuses connections.
    void close()
    {
        m_server.close();
        for (QTcpSocket *socket : findChildren<QTcpSocket *>()) {
            socket->abort();
        }
    }
    static QByteArray completion(const QString &content)
    {
        const QJsonObject message{{"role", "assistant"}, {"content", content}};
        const QJsonObject choice{{"index", 0}, {"message", message}, {"finish_reason", "stop"}};
        return QJsonDocument(QJsonObject{{"choices", QJsonArray{choice}}})
            .toJson(QJsonDocument::Compact);
    }

private:
    void onReadyRead(QTcpSocket *socket)
    {
        QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
        for (qsizetype headerEnd; (headerEnd = buffer.indexOf("\r\n\r\n")) >= 0;) {
            const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
            const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
            Request request{requestLine.value(0), requestLine.value(1), {}, {}};
            for (const QByteArray &line : lines.mid(1)) {
                const qsizetype colon = line.indexOf(':');
                if (colon > 0) { // only leading blanks go from a value: tests see trailing ones
                    QByteArray value = line.mid(colon + 1).chopped(line.endsWith('\r') ? 1 : 0);
                    while (value.startsWith(' ') || value.startsWith('\t')) {
                        value.remove(0, 1);
                    }
                    request.headers.insert(line.left(colon).toLower(), value);
                }
            }
            const qsizetype bodyStart = headerEnd + 4;
            const qsizetype length = request.header("Content-Length").toLongLong();
            if (buffer.size() - bodyStart < length) {
                break;
            }
            request.body = buffer.mid(bodyStart, length);
            buffer.remove(0, bodyStart + length);
            m_requests.append(request);
            const Reply reply = m_script.isEmpty() ? m_defaultReply : m_script.takeFirst();
            if (!reply.stall) {
                QTimer::singleShot(reply.delay, socket,
                                   [=] { answer(socket, reply, request.header("Range")); });
            }
        }
        socket->setProperty("buffer", buffer);
    }
    static void answer(QTcpSocket *socket, Reply reply, const QByteArray &range)
    {
        if (reply.ranges && range.startsWith("bytes=") && range.endsWith('-')) {
            const qsizetype first = range.mid(6).chopped(1).toLongLong();
            const QByteArray size = QByteArray::number(reply.body.size());
            if (first >= reply.body.size()) {
                reply.status = 416;
                reply.headers.append({"Content-Range", "bytes */" + size});
                reply.body.clear();
            } else {
                reply.status = 206;
                const QByteArray last = QByteArray::number(reply.body.size() - 1);
                reply.headers.append({"Content-Range", "bytes " + QByteArray::number(first) + '-' +
                                                           last + '/' + size});
                reply.body.remove(0, first);
            }
        }
        if (reply.endless) { // written as fast as the client takes it, until it gives up
            socket->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
            const auto more = [socket] {
                if (socket->bytesToWrite() < 0x100000) {
                    socket->write(("10000\r\n" + QByteArray(0x10000, 'a') + "\r\n").repeated(16));
                }
            };
            connect(socket, &QTcpSocket::bytesWritten, socket, more);
            return more();
        }
        QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) +
                          " Status\r\nContent-Type: application/json\r\n";
        for (const auto &[name, value] : reply.headers) {
            head += name + ": " + value + "\r\n";
        }
        head += "Content-Length: " + QByteArray::number(reply.body.size()) +
                "\r\nConnection: keep-alive\r\n\r\n";
        if (reply.dropAfter >= 0) {
            socket->write(head + reply.body.left(reply.dropAfter));
            return socket->disconnectFromHost();
        }
        socket->write(head + reply.body);
    }

    QTcpServer m_server{this}; // a child, so that it moves to another thread with us
    QList<Reply> m_script;
    Reply m_defaultReply{.body = completion(QStringLiteral("Hallo"))};
    QList<Request> m_requests;
    int m_connections = 0;
};
