#include "testhttpserver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>

QByteArray TestHttpServer::Request::header(QByteArrayView name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

int TestHttpServer::Request::headerCount(QByteArrayView name) const
{
    return int(std::count_if(headers.cbegin(), headers.cend(), [name](const auto &header) {
        return header.first.compare(name, Qt::CaseInsensitive) == 0;
    }));
}

TestHttpServer::TestHttpServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            ++m_connections;
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    if (!m_server.listen(QHostAddress::LocalHost)) {
        qFatal("TestHttpServer: cannot listen on 127.0.0.1: %s",
               qPrintable(m_server.errorString()));
    }
}

QUrl TestHttpServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
}

void TestHttpServer::close()
{
    m_server.close();
    for (QTcpSocket *socket : findChildren<QTcpSocket *>()) {
        socket->abort();
        socket->deleteLater();
    }
}

QByteArray TestHttpServer::completion(const QString &content)
{
    const QJsonObject message{{QStringLiteral("role"), QStringLiteral("assistant")},
                              {QStringLiteral("content"), content}};
    const QJsonObject choice{{QStringLiteral("index"), 0},
                             {QStringLiteral("message"), message},
                             {QStringLiteral("finish_reason"), QStringLiteral("stop")}};
    return QJsonDocument(QJsonObject{{QStringLiteral("choices"), QJsonArray{choice}}})
        .toJson(QJsonDocument::Compact);
}

void TestHttpServer::onReadyRead(QTcpSocket *socket)
{
    // What has come of a request not yet whole waits in the socket's "buffer" property.
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    for (qsizetype headerEnd; (headerEnd = buffer.indexOf("\r\n\r\n")) >= 0;) {
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        Request request{requestLine.value(0), requestLine.value(1), {}, {}};
        qsizetype contentLength = 0;
        for (QByteArray line : lines.mid(1)) {
            line.chop(line.endsWith('\r') ? 1 : 0);
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0) {
                continue;
            }
            // Only the leading blanks go: trailing ones must stay visible to tests.
            QByteArray value = line.mid(colon + 1);
            while (value.startsWith(' ') || value.startsWith('\t')) {
                value.remove(0, 1);
            }
            request.headers.append({line.left(colon).trimmed(), value});
            if (request.headers.last().first.compare("content-length", Qt::CaseInsensitive) == 0) {
                contentLength = value.toLongLong();
            }
        }
        const qsizetype bodyStart = headerEnd + 4;
        if (buffer.size() - bodyStart < contentLength) {
            break;
        }
        request.body = buffer.mid(bodyStart, contentLength);
        buffer.remove(0, bodyStart + contentLength);
        m_requests.append(request);

        Reply reply = m_defaultReply;
        if (!m_script.empty()) {
            reply = std::move(m_script.front());
            m_script.pop_front();
        }
        emit requestReceived();
        if (reply.stall) {
            continue;
        }
        if (reply.delay.count() > 0) {
            QTimer::singleShot(reply.delay, socket,
                               [this, socket, reply] { answer(socket, reply); });
        } else {
            answer(socket, reply);
        }
    }
    socket->setProperty("buffer", buffer);
}

void TestHttpServer::answer(QTcpSocket *socket, const Reply &reply)
{
    if (!reply.raw.isEmpty()) {
        socket->write(reply.raw);
        if (reply.dropConnection) {
            socket->disconnectFromHost(); // once what was written has gone out
        }
        return;
    }
    if (reply.dropConnection) {
        socket->abort();
        return;
    }
    // Clients read the status code; the reason phrase is there for the grammar.
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) +
                      " Status\r\nContent-Type: application/json\r\n";
    for (const auto &[name, value] : reply.headers) {
        head += name + ": " + value + "\r\n";
    }
    head += "Content-Length: " + QByteArray::number(reply.body.size()) +
            "\r\nConnection: keep-alive\r\n\r\n";
    socket->write(head + reply.body);
}
