#pragma once

#include "testhttpserver.h"

#include <QThread>

// A hostile HTTP server, in a thread of its own: to every request, a body that never ends.
class EndlessHttpServer
{
public:
    EndlessHttpServer()
    {
        m_server->setDefaultReply({.endless = true});
        m_server->moveToThread(&m_thread);
        m_thread.start();
    }
    ~EndlessHttpServer()
    {
        QMetaObject::invokeMethod(m_server, [this] {
            delete m_server;
            m_thread.quit();
        });
        m_thread.wait();
    }
    QUrl url() const { return m_server->url(); }

private:
    QThread m_thread;
    TestHttpServer *m_server = new TestHttpServer;
};
