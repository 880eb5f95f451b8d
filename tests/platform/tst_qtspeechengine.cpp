#include "qtspeechengine.h"
#include "testhome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>
#include <memory>

// Against a real speech-dispatcher with espeak-ng under a private XDG_RUNTIME_DIR, the sound
// going to ALSA's null device (PulseAudio output speaks for ever without a sound server).

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
const QByteArray workerName = "speech"; // the engine's thread, and libspeechd's
const QString systemConfig = QStringLiteral("/etc/speech-dispatcher/speechd.conf");
// The server also goes two seconds after its last client, should the test die first.
const QByteArray nullAudio = "\nAudioOutputMethod \"alsa\"\nAudioALSADevice \"null\"\nTimeout 2\n";
// About a hundred seconds of speech.
const QString longText =
    QStringLiteral("This is a sentence of a text that goes on and on. ").repeated(3000);

// The engines made from now on use a server of their own under `runtimeDir` (libspeechd reads
// XDG_RUNTIME_DIR once per process, so the address is given too), asked for at `addressSuffix`.
void useServer(const QString &runtimeDir, const QString &configHome, const QByteArray &command = {},
               const QString &addressSuffix = {})
{
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome));
    qputenv("SPEECHD_ADDRESS", "unix_socket:" + QFile::encodeName(runtimeDir + addressSuffix) +
                                   "/speech-dispatcher/speechd.sock");
    command.isEmpty() ? qunsetenv("SPEECHD_CMD") : qputenv("SPEECHD_CMD", command);
}

int threadsNamed(const QByteArray &name)
{
    int count = 0;
    for (const QString &task :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        count += comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name;
    }
    return count;
}

// A speech-dispatcher for SPEECHD_CMD that waits for the file `open` in `dir` before it starts,
// and gives up once `dir` has gone.
QByteArray gatedServer(const QTemporaryDir &dir)
{
    QFile script(dir.filePath(QStringLiteral("speech-dispatcher")));
    const QByteArray path = QFile::encodeName(dir.path());
    const QByteArray text = "#!/bin/sh\nwhile [ ! -e '" + path + "/open' ]; do [ -d '" + path +
                            "' ] || exit 1; sleep 0.05; done\nexec speech-dispatcher \"$@\"\n";
    const bool written = script.open(QIODevice::WriteOnly) && script.write(text) == text.size() &&
                         script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    return written ? QFile::encodeName(script.fileName()) : QByteArray();
}

bool writeServerConfig(const QString &configHome, const QByteArray &extra)
{
    QFile system(systemConfig);
    QFile config(configHome + QStringLiteral("/speech-dispatcher/speechd.conf"));
    return system.open(QIODevice::ReadOnly) && QDir(configHome).mkpath("speech-dispatcher") &&
           config.open(QIODevice::WriteOnly) && config.write(system.readAll() + extra) >= 0;
}

// Kills the server started under `runtimeDir` with its output modules (it leads their process
// group); true once it has ended.
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
        QVERIFY2(QFile::exists(systemConfig), "speech-dispatcher is not installed");
        QVERIFY(writeServerConfig(m_home.path(), nullAudio));
        useServer(newRuntimeDir(), m_home.path());
        m_engine = std::make_unique<QtSpeechEngine>();
        QSignalSpy stateChanged(m_engine.get(), &SpeechEngine::stateChanged);
        QTRY_VERIFY_WITH_TIMEOUT(!stateChanged.isEmpty(), startLimit);
        QCOMPARE(stateChanged.first().first().value<SpeechEngine::State>(),
                 SpeechEngine::State::ready);
    }
    void cleanupTestCase()
    {
        m_engine.reset();
        for (const auto &runtimeDir : m_runtimeDirs) {
            QVERIFY2(stopServer(runtimeDir->path()), qPrintable(runtimeDir->path()));
        }
    }

    void voiceForLanguage_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("expected"); // a pattern for the voice's language; empty: none
        QTest::newRow("odd spelling") << QStringLiteral("pt_br") << "^pt-BR$";
        QTest::newRow("likely region") << QStringLiteral("no") << "^nb-NO$";
        // No zh-CN voice: Mandarin's come under the C locale, named after their language.
        QTest::newRow("region without voice") << QStringLiteral("zh-Hans") << "^zh$";
        QTest::newRow("nonsense") << QStringLiteral("nonsense") << "";
    }
    void voiceForLanguage()
    {
        QFETCH(QString, code);
        QFETCH(QString, expected);
        const std::optional<SpeechEngine::Voice> voice = m_engine->voiceForLanguage(code);
        QCOMPARE(voice.has_value(), !expected.isEmpty());
        if (voice) {
            QVERIFY2(QRegularExpression(expected).match(voice->language).hasMatch(),
                     qPrintable(voice->language));
            QVERIFY(m_engine->voices().contains(*voice));
        }
    }

    void speaks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("language"); // of the voice; empty for the default one
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("interrupt"); // -1: not; 0: replaced at once; else stopped after ms
        const QString hello = QStringLiteral("Hello there.");
        QTest::newRow("as the app speaks") << hello << "en-US" << 0.48 << -1;
        QTest::newRow("default voice, nonsense rate") << hello << "" << qQNaN() << -1;
        QTest::newRow("blank") << QStringLiteral(" \n\t") << "" << 0.48 << -1;
        // The server has to stop for real, or the next utterance waits behind the long one.
        QTest::newRow("stopped while speaking") << longText << "en-US" << 0.48 << 500;
        QTest::newRow("replaced before it begins") << longText << "en-US" << 0.48 << 0;
    }
    void speaks()
    {
        QFETCH(QString, text);
        QFETCH(QString, language);
        QFETCH(double, rate);
        QFETCH(int, interrupt);
        const auto voice = m_engine->voiceForLanguage(language);
        QCOMPARE(voice.has_value(), !language.isEmpty());
        QSignalSpy finished(m_engine.get(), &SpeechEngine::finished);
        QSignalSpy cancelled(m_engine.get(), &SpeechEngine::cancelled);
        const quint64 first = ++m_lastUtterance;
        m_engine->speak(first, text, voice, rate, std::isnan(rate) ? -1.0 : 1.0);
        quint64 last = first;
        if (interrupt >= 0) {
            QTest::qWait(interrupt); // where it is interrupted, not a wait for anything
            if (interrupt > 0) {
                m_engine->stop();
                QTRY_COMPARE_WITH_TIMEOUT(cancelled.size(), 1, utteranceLimit);
            }
            last = ++m_lastUtterance;
            m_engine->speak(last, QStringLiteral("And now for something short."), voice, 0.48, 1);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), utteranceLimit);
        // One more word: reports come in order, so by its end all about the ones before have.
        const quint64 marker = ++m_lastUtterance;
        m_engine->speak(marker, QStringLiteral("Done."), std::nullopt, 0.48, 1.0);
        QTRY_VERIFY_WITH_TIMEOUT(finished.last().first().toULongLong() == marker, utteranceLimit);
        QCOMPARE(finished.size(), 2);
        QCOMPARE(finished.first().first().toULongLong(), last);
        QCOMPARE(cancelled.size(), interrupt >= 0 ? 1 : 0);
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
        const QString runtimeDir = newRuntimeDir();
        useServer(runtimeDir, m_home.path(), {}, goneLater ? "" : "/none");
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
        QVERIFY(!engine.voiceForLanguage(QStringLiteral("en-US")));
        // Asked anyway, it reports nothing, not even later.
        engine.speak(1, QStringLiteral("Hello there."), std::nullopt, 0.48, 1.0);
        engine.stop();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(finished.size() + cancelled.size(), 0);
        QVERIFY2(stopServer(runtimeDir), "a server was left running");
    }

    // While it still creates Qt's engine, which waits for a server held at its start: promptly,
    // and without taking the process down with a thread still running. The one left behind
    // finishes once the server has started, and goes.
    void closesWhileStarting()
    {
        const QTemporaryDir gate;
        const QByteArray server = gatedServer(gate);
        QVERIFY(!server.isEmpty());
        useServer(newRuntimeDir(), m_home.path(), server);
        const int workers = threadsNamed(workerName);
        auto engine = std::make_unique<QtSpeechEngine>(); // without waiting for the server
        QCOMPARE(engine->state(), SpeechEngine::State::starting);
        engine.reset();
        QVERIFY(QFile(gate.filePath(QStringLiteral("open"))).open(QIODevice::WriteOnly));
        QTRY_VERIFY_WITH_TIMEOUT(threadsNamed(workerName) <= workers, startLimit);
    }

private:
    QString newRuntimeDir()
    {
        return m_runtimeDirs.emplace_back(std::make_unique<QTemporaryDir>())->path();
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
    qputenv("QT_LOGGING_RULES", "quenzal.speech.debug=true"); // the engine's timings
    // libspeechd's write() to a server that has gone raises SIGPIPE in the engine's worker,
    // unless libspeechd's own thread saw it go first; the engine leaves SIGPIPE as it is.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    TestQtSpeechEngine test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_qtspeechengine.moc"
