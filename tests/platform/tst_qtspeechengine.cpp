// Against a real speech-dispatcher with espeak-ng, the sound going to ALSA's null device.
#include "qtspeechengine.h"
#include "testhome.h"

#include <QCoreApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>

// libspeechd's strstr() per line of the voice list takes 20 s under AddressSanitizer's checks.
extern "C" const char *__asan_default_options()
{
    return "intercept_strstr=0";
}

// Leaks of Qt's plug-in (speech-dispatcher's module list) and of libspeechd (failed connection).
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libspeechd.so\nleak:__vasprintf_internal\n";
}

namespace {

constexpr int startLimit = 30'000; // ms; 1-2.5 s is usual
constexpr int utteranceLimit = 15'000;
const QString hello = QStringLiteral("Hello there.");

// Kills the server under `runtimeDir` with its modules (its process group); true once it ended.
bool stopServer(const QString &runtimeDir)
{
    QFile pidFile(runtimeDir + QStringLiteral("/speech-dispatcher/pid/speech-dispatcher.pid"));
    const qint64 server =
        pidFile.open(QIODevice::ReadOnly) ? pidFile.readAll().trimmed().toLongLong() : 0;
    const auto runs = [server, &runtimeDir] { // neither gone nor a zombie, nor someone else
        QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(server));
        QFile stat(QStringLiteral("/proc/%1/stat").arg(server));
        const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
        return server > 0 && commandLine.open(QIODevice::ReadOnly) &&
               commandLine.readAll().contains(QFile::encodeName(runtimeDir)) &&
               line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
    };
    if (runs()) {
        ::kill(-static_cast<pid_t>(server), SIGKILL);
    }
    return QTest::qWaitFor([&] { return !runs(); }, startLimit);
}

} // namespace

class TestQtSpeechEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Pulse output speaks for ever with no sound server; the server goes 2 s after its last
        // client.
        QFile system(QStringLiteral("/etc/speech-dispatcher/speechd.conf"));
        QFile config(m_home.path() + QStringLiteral("/speech-dispatcher/speechd.conf"));
        QVERIFY2(system.open(QIODevice::ReadOnly), "speech-dispatcher is not installed");
        QVERIFY(QDir(m_home.path()).mkpath("speech-dispatcher") &&
                config.open(QIODevice::WriteOnly));
        config.write(system.readAll() +
                     "\nAudioOutputMethod \"alsa\"\nAudioALSADevice \"null\"\nTimeout 2\n");
        config.close();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path()));
        useNewServer();
        m_engine = std::make_unique<QtSpeechEngine>();
        QTRY_COMPARE_WITH_TIMEOUT(m_engine->state(), SpeechEngine::State::ready, startLimit);
    }
    void cleanupTestCase()
    {
        m_engine.reset();
        for (const auto &runtimeDir : m_runtimeDirs) {
            QVERIFY2(stopServer(runtimeDir->path()), qPrintable(runtimeDir->path()));
        }
    }

    void speaks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("code");  // asked for a voice
        QTest::addColumn<QString>("voice"); // the language of the voice found; empty: default
        QTest::addColumn<double>("rate");
        QTest::addColumn<bool>("stopped"); // after half a second, and another one spoken
        QTest::newRow("odd spelling") << hello << "pt_br"
                                      << "pt-BR" << 0.48 << false;
        // No zh-CN voice: Mandarin's come under the C locale, named after their language.
        QTest::newRow("region without voice") << hello << "zh-Hans"
                                              << "zh" << 0.48 << false;
        QTest::newRow("default voice, nonsense rate") << hello << "nonsense"
                                                      << "" << qQNaN() << false;
        // The server has to stop for real, or the next utterance waits behind the long one.
        QTest::newRow("stopped while speaking")
            << QStringLiteral("This is a sentence that goes on and on. ").repeated(3000) << "en-US"
            << "en-US" << 0.48 << true;
    }
    void speaks()
    {
        QFETCH(QString, text);
        QFETCH(QString, code);
        QFETCH(QString, voice);
        QFETCH(double, rate);
        QFETCH(bool, stopped);
        const std::optional<SpeechEngine::Voice> found = m_engine->voiceForLanguage(code);
        QCOMPARE(found ? found->language : QString(), voice);
        QSignalSpy finished(m_engine.get(), &SpeechEngine::finished);
        QSignalSpy cancelled(m_engine.get(), &SpeechEngine::cancelled);
        const quint64 first = ++m_lastUtterance;
        m_engine->speak(first, text, found, rate, std::isnan(rate) ? -1.0 : 1.0);
        quint64 last = first;
        if (stopped) {
            QTest::qWait(500); // where it is stopped, not a wait for anything
            m_engine->stop();
            QTRY_COMPARE_WITH_TIMEOUT(cancelled.size(), 1, utteranceLimit);
            last = ++m_lastUtterance;
            m_engine->speak(last, QStringLiteral("And now for something short."), found, 0.48, 1);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), utteranceLimit);
        // One more word: reports come in order, so by its end all about the ones before have.
        const quint64 marker = ++m_lastUtterance;
        m_engine->speak(marker, QStringLiteral("Done."), std::nullopt, 0.48, 1.0);
        QTRY_VERIFY_WITH_TIMEOUT(finished.last().first().toULongLong() == marker, utteranceLimit);
        QCOMPARE(finished.size(), 2);
        QCOMPARE(finished.first().first().toULongLong(), last);
        QCOMPARE(cancelled.size(), stopped ? 1 : 0);
        QVERIFY(cancelled.isEmpty() || cancelled.first().first().toULongLong() == first);
    }

    void unavailable_data()
    {
        QTest::addColumn<bool>("goneLater"); // else there is no server where the engine asks
        QTest::newRow("no server") << false;
        QTest::newRow("gone between utterances, Qt never reconnects") << true;
    }
    void unavailable()
    {
        QFETCH(bool, goneLater);
        const QString runtimeDir = useNewServer(goneLater ? "" : "/none");
        QtSpeechEngine engine;
        QSignalSpy stateChanged(&engine, &SpeechEngine::stateChanged);
        QSignalSpy finished(&engine, &SpeechEngine::finished);
        QSignalSpy cancelled(&engine, &SpeechEngine::cancelled);
        if (goneLater) {
            QTRY_COMPARE_WITH_TIMEOUT(engine.state(), SpeechEngine::State::ready, startLimit);
            QVERIFY(stopServer(runtimeDir));
            engine.speak(7, QStringLiteral("Anybody there?"), std::nullopt, 0.48, 1.0);
            QTRY_COMPARE_WITH_TIMEOUT(cancelled.size(), 1, utteranceLimit);
            QCOMPARE(cancelled.takeFirst().first().toULongLong(), 7u);
        }
        QTRY_COMPARE_WITH_TIMEOUT(engine.state(), SpeechEngine::State::unavailable, startLimit);
        QCOMPARE(stateChanged.size(), goneLater ? 2 : 1);
        QVERIFY(engine.voices().isEmpty());
        // Asked anyway, it reports nothing, not even later.
        engine.speak(1, hello, std::nullopt, 0.48, 1.0);
        engine.stop();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(finished.size() + cancelled.size(), 0);
        QVERIFY2(stopServer(runtimeDir), "a server was left running");
    }

private:
    // Engines made from now on use a server of their own (libspeechd reads XDG_RUNTIME_DIR once),
    // at `addressSuffix` under it.
    QString useNewServer(const QString &addressSuffix = {})
    {
        const QString dir = m_runtimeDirs.emplace_back(std::make_unique<QTemporaryDir>())->path();
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir));
        qputenv("SPEECHD_ADDRESS", "unix_socket:" + QFile::encodeName(dir + addressSuffix) +
                                       "/speech-dispatcher/speechd.sock");
        return dir;
    }

    TestHome m_home;
    std::vector<std::unique_ptr<QTemporaryDir>> m_runtimeDirs; // a server may run under each
    std::unique_ptr<QtSpeechEngine> m_engine;
    quint64 m_lastUtterance = 100;
};

int main(int argc, char *argv[])
{
    qputenv("LANG", "C.UTF-8"); // a locale every system has, for the server and espeak-ng
    qunsetenv("LC_ALL");
    qunsetenv("LANGUAGE");
    // libspeechd's write() to a server that has gone raises SIGPIPE in the engine's worker.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    TestQtSpeechEngine test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_qtspeechengine.moc"
