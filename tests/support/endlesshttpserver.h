#pragma once

#include <QUrl>

#include <atomic>
#include <thread>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

// A hostile HTTP server in a thread of its own: to every connection, whatever it asks, a
// chunked body that never ends, sent as fast as the client takes it until the client gives up.
class EndlessHttpServer
{
public:
    EndlessHttpServer()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto *any = reinterpret_cast<sockaddr *>(&address);
        if (m_listener < 0 || ::bind(m_listener, any, length) != 0 ||
            ::listen(m_listener, 8) != 0 || ::getsockname(m_listener, any, &length) != 0) {
            qFatal("EndlessHttpServer: cannot listen on 127.0.0.1");
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                    "Transfer-Encoding: chunked\r\n\r\n";
            const QByteArray chunks =
                ("10000\r\n" + QByteArray(0x10000, 'a') + "\r\n").repeated(16);
            while (!m_stopping) {
                // Fails when shut down, or for a client that gave up while waiting.
                const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
                QByteArray data = head + chunks;
                while (!m_stopping && connection >= 0 &&
                       ::send(connection, data.data(), data.size(), MSG_NOSIGNAL) > 0) {
                    data = chunks;
                }
                ::close(connection);
            }
        });
    }
    ~EndlessHttpServer()
    {
        m_stopping = true;
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }
    QUrl url() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/chat/completions").arg(m_port));
    }

private:
    int m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    quint16 m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};
