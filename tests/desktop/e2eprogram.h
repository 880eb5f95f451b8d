// The real program (quenzal-e2e) as the desktop tests run it: a home and runtime folder of its
// own, DeepSeek answered by a local server behind http_proxy, and what it writes on standard
// error kept, and shown if the test fails. Copies started with run() (a second start, --toggle,
// ...) share all of it. Also the panels' status tray, reached over D-Bus as a panel reaches it.
#pragma once

#include "testhome.h"
#include "testhttpserver.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QJsonDocument>
#include <QProcess>
#include <QTest>

constexpr int patience = 30'000; // ms: longer is a failure, not a busy machine or sanitizers

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
    ~E2EProgram() override
    {
        stop();
        if (QTest::currentTestFailed()) {
            qWarning("--- quenzal-e2e wrote:\n%s---", m_log.constData());
        }
    }

    bool start(const QStringList &arguments = {})
    {
        m_process.start(QStringLiteral(QUENZAL_E2E), arguments);
        return m_process.waitForStarted(patience);
    }
    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(); // reads the rest of its output
        }
    }
    // Runs another copy to its end; its exit code, or -1 if it did not end in time. What it
    // writes on standard error goes to `errors`, or without it to the test's.
    int run(const QStringList &arguments, QByteArray *errors = nullptr,
            const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        QProcess copy;
        copy.setProcessChannelMode(errors ? QProcess::SeparateChannels
                                          : QProcess::ForwardedErrorChannel);
        copy.setProcessEnvironment(environment);
        copy.start(QStringLiteral(QUENZAL_E2E), arguments);
        const bool ended =
            copy.waitForFinished(patience) && copy.exitStatus() == QProcess::NormalExit;
        if (errors) {
            *errors = copy.readAllStandardError();
        }
        return ended ? copy.exitCode() : -1;
    }

    bool isRunning() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return isRunning() ? m_process.processId() : 0; }
    QProcess &process() { return m_process; }
    const QByteArray &log() const { return m_log; }
    bool waitToSay(const QByteArray &text)
    {
        return QTest::qWaitFor([&] { return m_log.contains(text); }, patience);
    }
    // How many of its requests to DeepSeek asked to translate a text with `text` in it.
    qsizetype sent(const QString &text) const
    {
        return std::count_if(m_server.requests().cbegin(), m_server.requests().cend(),
                             [&](const TestHttpServer::Request &request) {
                                 return QJsonDocument::fromJson(
                                            request.body)["messages"][1]["content"]
                                     .toString()
                                     .contains(text);
                             });
    }
    TestHttpServer &server() { return m_server; }

private:
    TestHome m_home;
    TestHttpServer m_server;
    QProcess m_process;
    QByteArray m_log;
};

// Waits until `find` finds something, and returns it.
template <typename Find> auto waitToFind(const Find &find) -> decltype(find())
{
    decltype(find()) found;
    return QTest::qWaitFor([&] { return bool(found = find()); }, patience) ? found
                                                                           : decltype(found)();
}

// A method call on the session bus, and its answer.
inline QDBusMessage callDBus(const QString &service, const QString &path, const QString &interface,
                             const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call);
}

namespace Tray {

// The panel's watcher is on the bus.
inline bool hasWatcher()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(
        "org.kde.StatusNotifierWatcher");
}

// The watcher's StatusNotifierItems, as "service/path".
inline QStringList statusItems()
{
    const QList<QVariant> reply =
        callDBus("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                 "org.freedesktop.DBus.Properties", "Get",
                 {"org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems"})
            .arguments();
    return reply.isEmpty() ? QStringList()
                           : reply.first().value<QDBusVariant>().variant().toStringList();
}

// Starts a panel in `process` and waits until its watcher is on the bus.
inline bool startPanel(QProcess &process, const QString &program)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("NO_AT_BRIDGE", "1");
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice()); // GTK's complaints
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, QStringList());
    return process.waitForStarted(patience) && QTest::qWaitFor(hasWatcher, patience);
}

inline bool waitUntilNoWatcher()
{
    return QTest::qWaitFor([] { return !hasWatcher(); }, patience);
}

} // namespace Tray
