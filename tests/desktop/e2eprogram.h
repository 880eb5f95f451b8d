// The real program (quenzal-e2e) as the desktop tests run it: a home and runtime folder of its
// own, DeepSeek answered by a local server behind http_proxy, and what it writes on standard
// error kept. Copies started with run() (a second start, --toggle, ...) share all of it.
#pragma once

#include "testhome.h"
#include "testhttpserver.h"

#include <QProcess>

class E2EProgram : public QObject
{
public:
    E2EProgram()
    {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_home.path())); // of mode 0700
        qputenv("http_proxy", m_server.url(QString()).toEncoded());
        qunsetenv("no_proxy");
        qunsetenv("NO_PROXY");
        qputenv("QT_LOGGING_RULES", "quenzal.*.debug=true");
        connect(&m_process, &QProcess::readyReadStandardError, this,
                [this] { m_log += m_process.readAllStandardError(); });
    }
    ~E2EProgram() override { stop(); }

    bool start(const QStringList &arguments = {})
    {
        m_process.start(QStringLiteral(QUENZAL_E2E), arguments);
        return m_process.waitForStarted();
    }
    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(); // reads the rest of its output
        }
    }
    // Runs another copy to its end; its exit code, or -1 if it did not end in time.
    int run(const QStringList &arguments, int timeout = 30'000)
    {
        QProcess copy;
        copy.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        copy.start(QStringLiteral(QUENZAL_E2E), arguments);
        return copy.waitForFinished(timeout) && copy.exitStatus() == QProcess::NormalExit
                   ? copy.exitCode()
                   : -1;
    }

    bool isRunning() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return isRunning() ? m_process.processId() : 0; }
    QProcess &process() { return m_process; }
    const QByteArray &log() const { return m_log; }
    TestHttpServer &server() { return m_server; }

private:
    TestHome m_home;
    TestHttpServer m_server;
    QProcess m_process;
    QByteArray m_log;
};
