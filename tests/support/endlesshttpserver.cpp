#include "endlesshttpserver.h"

#include <QByteArray>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

EndlessHttpServer::EndlessHttpServer()
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        ::listen(m_listener, 8) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        qFatal("EndlessHttpServer: cannot listen on 127.0.0.1");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] {
        while (!m_stopping) {
            const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection >= 0) { // else shut down, or a client that gave up while waiting
                serve(connection);
                ::close(connection);
            }
        }
    });
}

EndlessHttpServer::~EndlessHttpServer()
{
    m_stopping = true;
    ::shutdown(m_listener, SHUT_RDWR);
    m_thread.join();
    ::close(m_listener);
}

QUrl EndlessHttpServer::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/chat/completions").arg(m_port));
}

void EndlessHttpServer::serve(int connection)
{
    // The request is read up to the end of its headers; its body does not matter.
    QByteArray request;
    char buffer[4096];
    while (!request.contains("\r\n\r\n")) {
        pollfd readable{connection, POLLIN, 0};
        if (m_stopping || ::poll(&readable, 1, 100) < 0) {
            return;
        }
        if (readable.revents != 0) {
            const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
            if (n <= 0) {
                return;
            }
            request.append(buffer, n);
        }
    }
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                            "Transfer-Encoding: chunked\r\n\r\n";
    const QByteArray chunks = ("10000\r\n" + QByteArray(0x10000, 'a') + "\r\n").repeated(16);
    if (::send(connection, head.constData(), size_t(head.size()), MSG_NOSIGNAL) < 0) {
        return;
    }
    // Until the client gives up.
    while (!m_stopping &&
           ::send(connection, chunks.constData(), size_t(chunks.size()), MSG_NOSIGNAL) > 0) {
    }
}
