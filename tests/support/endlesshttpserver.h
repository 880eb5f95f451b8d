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

private:
    void serve(int connection);

    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};
