#include "qtspeechengine.h"
#include "testhome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

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
const QByteArray workerName = "speech";
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

// A speech-dispatcher for SPEECHD_CMD that waits for the file `open` in `dir` before it starts.
QByteArray gatedServer(const QTemporaryDir &dir)
{
    QFile script(dir.filePath(QStringLiteral("speech-dispatcher")));
    const QByteArray text = "#!/bin/sh\nwhile [ ! -e '" + QFile::encodeName(dir.path()) +
                            "/open' ]; do sleep 0.05; done\nexec speech-dispatcher \"$@\"\n";
    const bool written = script.open(QIODevice::WriteOnly) && script.write(text) == text.size() &&
                         script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    return written ? QFile::encodeName(script.fileName()) : QByteArray();
}

bool openGate(const QTemporaryDir &dir)
{
    return QFile(dir.filePath(QStringLiteral("open"))).open(QIODevice::WriteOnly);
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
    void initTestCase();
    void cleanupTestCase()
    {
        m_engine.reset();
        for (const auto &runtimeDir : m_runtimeDirs) {
            QVERIFY2(stopServer(runtimeDir->path()), qPrintable(runtimeDir->path()));
        }
    }
    void voiceForLanguage_data();
    void voiceForLanguage();
    void speaks_data();
    void speaks();
    void unavailable_data();
    void unavailable();
    void closesPromptly_data();
    void closesPromptly();

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

void TestQtSpeechEngine::initTestCase()
{
    QVERIFY2(QFile::exists(systemConfig), "speech-dispatcher is not installed");
    QVERIFY(writeServerConfig(m_home.path(), nullAudio));
    useServer(newRuntimeDir(), m_home.path());
    m_engine = std::make_unique<QtSpeechEngine>();
    QSignalSpy stateChanged(m_engine.get(), &SpeechEngine::stateChanged);
    QTRY_VERIFY_WITH_TIMEOUT(!stateChanged.isEmpty(), startLimit);
    QCOMPARE(stateChanged.first().first().value<SpeechEngine::State>(), SpeechEngine::State::ready);

    const QRegularExpression bcp47(QStringLiteral("^(und|[a-z]{2,3}(-([A-Z]{2}|[0-9]{3}))?)$"));
    QSet<QString> ids;
    QSet<QString> languages;
    for (const SpeechEngine::Voice &voice : m_engine->voices()) {
        QVERIFY2(bcp47.match(voice.language).hasMatch(), qPrintable(voice.language));
        QVERIFY2(!voice.id.isEmpty() && !ids.contains(voice.id), qPrintable(voice.id));
        ids.insert(voice.id);
        languages.insert(voice.language);
    }
    // "zh": Mandarin comes as the C locale, named after its language.
    for (const char *language : {"en-US", "en-GB", "nb-NO", "zh"}) {
        QVERIFY2(languages.contains(QString::fromLatin1(language)), language);
    }
}

void TestQtSpeechEngine::voiceForLanguage_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("expected"); // a pattern for the voice's language; empty for none

    QTest::newRow("language and region") << QStringLiteral("en-GB") << QStringLiteral("^en-GB$");
    QTest::newRow("odd spelling") << QStringLiteral("pt_br") << QStringLiteral("^pt-BR$");
    QTest::newRow("likely region") << QStringLiteral("no") << QStringLiteral("^nb-NO$");
    QTest::newRow("region without voice") << QStringLiteral("de-AT") << QStringLiteral("^de-");
    QTest::newRow("nonsense") << QStringLiteral("nonsense") << QString();
}

void TestQtSpeechEngine::voiceForLanguage()
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

void TestQtSpeechEngine::speaks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("language"); // of the voice; empty for the default one
    QTest::addColumn<double>("rate");
    QTest::addColumn<int>("interruptAfter"); // ms into the utterance; -1: not interrupted
    QTest::addColumn<bool>("replace");       // interrupted by the next utterance, not stop()

    const QString hello = QStringLiteral("Hello there.");
    const QString en = QStringLiteral("en-US");
    QTest::newRow("as the app speaks") << hello << en << 0.48 << -1 << false;
    QTest::newRow("default voice, nonsense rate") << hello << QString() << qQNaN() << -1 << false;
    QTest::newRow("blank") << QStringLiteral(" \n\t") << QString() << 0.48 << -1 << false;
    // The server has to stop for real, or the next utterance waits behind the long one.
    QTest::newRow("stopped while speaking") << longText << en << 0.48 << 500 << false;
    QTest::newRow("replaced before it begins") << longText << en << 0.48 << 0 << true;
}

void TestQtSpeechEngine::speaks()
{
    QFETCH(QString, text);
    QFETCH(QString, language);
    QFETCH(double, rate);
    QFETCH(int, interruptAfter);
    QFETCH(bool, replace);

    const auto voice = m_engine->voiceForLanguage(language);
    QCOMPARE(voice.has_value(), !language.isEmpty());
    QSignalSpy finished(m_engine.get(), &SpeechEngine::finished);
    QSignalSpy cancelled(m_engine.get(), &SpeechEngine::cancelled);
    const quint64 first = ++m_lastUtterance;
    m_engine->speak(first, text, voice, rate, rate > 0 ? 1.0 : -1.0);
    quint64 last = first;
    if (interruptAfter >= 0) {
        QTest::qWait(interruptAfter); // where it is interrupted, not a wait for anything
        if (!replace) {
            m_engine->stop();
            QTRY_COMPARE_WITH_TIMEOUT(cancelled.size(), 1, utteranceLimit);
        }
        last = ++m_lastUtterance;
        m_engine->speak(last, QStringLiteral("And now for something short."), voice, 0.48, 1.0);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), utteranceLimit);
    // One more word: reports come in order, so by its end all about the ones before have come.
    const quint64 marker = ++m_lastUtterance;
    m_engine->speak(marker, QStringLiteral("Done."), std::nullopt, 0.48, 1.0);
    QTRY_VERIFY_WITH_TIMEOUT(finished.last().first().toULongLong() == marker, utteranceLimit);
    QCOMPARE(finished.size(), 2);
    QCOMPARE(finished.first().first().toULongLong(), last);
    QCOMPARE(cancelled.size(), interruptAfter >= 0 ? 1 : 0);
    if (interruptAfter >= 0) {
        QCOMPARE(cancelled.first().first().toULongLong(), first);
    }
}

void TestQtSpeechEngine::unavailable_data()
{
    QTest::addColumn<QByteArray>("config"); // for the server
    QTest::addColumn<bool>("elsewhere");    // the engine asks for a server at another address
    QTest::addColumn<bool>("goneLater");    // killed after the start; Qt never connects again

    QTest::newRow("no server") << QByteArray() << true << false;
    QTest::newRow("no output module") << QByteArray("AddModule \"missing\" \"sd_quenzal_missing\" "
                                                    "\"missing.conf\"\nDefaultModule missing\n")
                                      << false << false;
    QTest::newRow("gone between utterances") << QByteArray() << false << true;
}

void TestQtSpeechEngine::unavailable()
{
    QFETCH(QByteArray, config);
    QFETCH(bool, elsewhere);
    QFETCH(bool, goneLater);

    const QString runtimeDir = newRuntimeDir();
    QTemporaryDir configHome;
    QVERIFY(writeServerConfig(configHome.path(), nullAudio + config));
    useServer(runtimeDir, configHome.path(), {}, elsewhere ? "/none" : "");
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

void TestQtSpeechEngine::closesPromptly_data()
{
    QTest::addColumn<bool>("started");
    // Still creating Qt's engine (so the constructor must not wait): the server is held at its
    // start until the engine is gone.
    QTest::newRow("while starting") << false;
    // The server answers, so the engine closes for good instead of giving up on it.
    QTest::newRow("while speaking") << true;
}

// And without taking the process down with a thread still running.
void TestQtSpeechEngine::closesPromptly()
{
    QFETCH(bool, started);

    const QTemporaryDir gate;
    const QByteArray server = gatedServer(gate);
    QVERIFY(!server.isEmpty());
    useServer(newRuntimeDir(), m_home.path(), server);
    const int workers = threadsNamed(workerName);
    auto engine = std::make_unique<QtSpeechEngine>();
    QCOMPARE(engine->state(), SpeechEngine::State::starting);
    if (started) {
        QVERIFY(openGate(gate));
        QTRY_COMPARE_WITH_TIMEOUT(engine->state(), SpeechEngine::State::ready, startLimit);
        engine->speak(1, longText, std::nullopt, 0.48, 1.0);
        QTest::qWait(500); // half a second into it, as a listener stops; not a wait for anything
        QTest::failOnWarning(QRegularExpression(QStringLiteral("does not answer")));
    }
    engine.reset();
    // A worker left behind finishes once the server has started, and goes.
    QVERIFY(openGate(gate));
    QTRY_VERIFY_WITH_TIMEOUT(threadsNamed(workerName) <= workers, startLimit);
}

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
