#include "testhttpserver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace {

const char *reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

} // namespace

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
    m_defaultReply.body = completion(QStringLiteral("Hallo"));
    connect(&m_server, &QTcpServer::newConnection, this, &TestHttpServer::onNewConnection);
    if (!m_server.listen(QHostAddress::LocalHost)) {
        qFatal("TestHttpServer: cannot listen on 127.0.0.1: %s",
               qPrintable(m_server.errorString()));
    }
}

TestHttpServer::~TestHttpServer() = default;

QUrl TestHttpServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path));
}

void TestHttpServer::enqueue(Reply reply)
{
    m_script.push_back(std::move(reply));
}

void TestHttpServer::close()
{
    m_server.close();
    const auto sockets = findChildren<QTcpSocket *>();
    for (QTcpSocket *socket : sockets) {
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
    const QJsonObject body{{QStringLiteral("id"), QStringLiteral("test")},
                           {QStringLiteral("object"), QStringLiteral("chat.completion")},
                           {QStringLiteral("choices"), QJsonArray{choice}}};
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

void TestHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        socket->setProperty("connection", ++m_connections);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void TestHttpServer::onReadyRead(QTcpSocket *socket)
{
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    for (;;) {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0) {
            break;
        }
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        Request request;
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        request.method = requestLine.value(0);
        request.target = requestLine.value(1);
        request.connection = socket->property("connection").toInt();
        qsizetype contentLength = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            QByteArray line = lines[i];
            if (line.endsWith('\r')) {
                line.chop(1);
            }
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0) {
                continue;
            }
            const QByteArray name = line.left(colon).trimmed();
            // Only the leading blank goes: trailing ones must stay visible to tests.
            QByteArray value = line.mid(colon + 1);
            while (value.startsWith(' ') || value.startsWith('\t')) {
                value.remove(0, 1);
            }
            request.headers.append({name, value});
            if (name.compare("content-length", Qt::CaseInsensitive) == 0) {
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
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    head += "Content-Type: " + reply.contentType + "\r\n";
    for (const auto &[name, value] : reply.headers) {
        head += name + ": " + value + "\r\n";
    }
    head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    head += "Connection: keep-alive\r\n\r\n";
    socket->write(head + reply.body);
}
