#pragma once

#include <QUrl>

#include <atomic>
#include <thread>

// An HTTP server on 127.0.0.1, in a thread of its own, that answers every request with a
// chunked body that never ends, sent as fast as the client takes it: a hostile server for
// tests and benchmarks of what a client keeps in memory. One connection at a time.
class EndlessHttpServer
{
public:
    EndlessHttpServer();
    ~EndlessHttpServer();
    EndlessHttpServer(const EndlessHttpServer &) = delete;
    EndlessHttpServer &operator=(const EndlessHttpServer &) = delete;

    QUrl url() const;
    // Bytes of body sent so far, over all connections.
    qint64 bytesSent() const { return m_sent; }

private:
    void run();
    void serve(int connection);

    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<qint64> m_sent{0};
    std::thread m_thread;
};
