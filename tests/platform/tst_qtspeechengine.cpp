#include "qtspeechengine.h"
#include "testhome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

// Runs against a real speech-dispatcher with espeak-ng, which the engine starts under a private
// XDG_RUNTIME_DIR, with the system's configuration but the sound sent to ALSA's null device
// (PulseAudio output speaks for ever where there is no sound server). Every wait is for
// something the engine or the server does, with a bound far beyond what a loaded machine needs.

// libspeechd parses the voice list with a strstr() per line, which AddressSanitizer checks
// against the whole rest of the reply every time: a start would take 20 s instead of one.
extern "C" const char *__asan_default_options()
{
    return "intercept_strstr=0";
}

// Leaks of the libraries underneath: Qt's plug-in never frees speech-dispatcher's module list,
// and libspeechd loses the message of a failed connection (made by glibc's vasprintf).
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libspeechd.so\nleak:__vasprintf_internal\n";
}

namespace {

constexpr int startLimit = 30'000; // ms; 1-2.5 s is usual
constexpr int utteranceLimit = 15'000;
const QByteArray workerName = "speech"; // the engine's thread, and libspeechd's that it starts

const QString systemConfig = QStringLiteral("/etc/speech-dispatcher/speechd.conf");
// The server also goes two seconds after its last client, should the test die first.
const QByteArray nullAudio = "\nAudioOutputMethod \"alsa\"\nAudioALSADevice \"null\"\nTimeout 2\n";

// About a hundred seconds for espeak-ng, far longer than any wait below.
const QString longText =
    QStringLiteral("This is a sentence of a text that goes on and on. ").repeated(3000);

// Given to every engine: libspeechd reads XDG_RUNTIME_DIR once per process.
QByteArray serverAddress(const QString &runtimeDir)
{
    return "unix_socket:" + QFile::encodeName(runtimeDir) + "/speech-dispatcher/speechd.sock";
}

using Environment = QList<std::pair<const char *, QByteArray>>;

// A server of its own under `runtimeDir`, which the engine is asked for at `addressSuffix`,
// until the guard returned goes.
auto serverEnvironment(const QString &runtimeDir, const QString &addressSuffix = {},
                       Environment variables = {})
{
    variables << std::pair{"XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir)}
              << std::pair{"SPEECHD_ADDRESS", serverAddress(runtimeDir + addressSuffix)};
    Environment saved;
    for (const auto &[name, value] : variables) {
        saved.append({name, qgetenv(name)});
        qputenv(name, value);
    }
    return qScopeGuard([saved] {
        for (const auto &[name, value] : saved) {
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
        }
    });
}

// Threads of this process by name; Qt names a QThread's system thread after its object name.
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

// Holds back the start of the servers that libspeechd spawns through it (SPEECHD_CMD) until
// open(): a server that is still starting for as long as the test likes.
class ServerGate
{
public:
    ServerGate()
    {
        const QString server = QStandardPaths::findExecutable(QStringLiteral("speech-dispatcher"));
        QFile script(command());
        const QByteArray text = "#!/bin/sh\nwhile [ ! -e '" + QFile::encodeName(openFile()) +
                                "' ]; do sleep 0.05; done\nexec '" + QFile::encodeName(server) +
                                "' \"$@\"\n";
        m_valid = !server.isEmpty() && script.open(QIODevice::WriteOnly) &&
                  script.write(text) == text.size() &&
                  script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    }

    bool isValid() const { return m_valid; }
    QString command() const { return m_dir.filePath(QStringLiteral("speech-dispatcher")); }
    bool open() const { return QFile(openFile()).open(QIODevice::WriteOnly); }

private:
    QString openFile() const { return m_dir.filePath(QStringLiteral("open")); }

    QTemporaryDir m_dir;
    bool m_valid = false;
};

bool writeServerConfig(const QString &configHome, const QByteArray &extra)
{
    QFile system(systemConfig);
    QFile config(configHome + QStringLiteral("/speech-dispatcher/speechd.conf"));
    return system.open(QIODevice::ReadOnly) && QDir(configHome).mkpath("speech-dispatcher") &&
           config.open(QIODevice::WriteOnly) && config.write(system.readAll() + extra) >= 0;
}

// Kills the server started under `runtimeDir` and its output modules; true once none runs.
bool stopServer(const QString &runtimeDir)
{
    QFile pidFile(runtimeDir + QStringLiteral("/speech-dispatcher/pid/speech-dispatcher.pid"));
    const qint64 server =
        pidFile.open(QIODevice::ReadOnly) ? pidFile.readAll().trimmed().toLongLong() : 0;
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(server));
    // Never started, or gone and its number maybe someone else's by now.
    if (server <= 0 || !commandLine.open(QIODevice::ReadOnly) ||
        !commandLine.readAll().contains(QFile::encodeName(runtimeDir))) {
        return true;
    }
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(server));
    QList<qint64> processes{server};
    for (const QByteArray &child :
         children.open(QIODevice::ReadOnly) ? children.readAll().split(' ') : QByteArrayList()) {
        if (child.toLongLong() > 0) {
            processes.append(child.toLongLong());
        }
    }
    const auto runs = [](qint64 process) { // a zombie has ended, reaped or not
        QFile stat(QStringLiteral("/proc/%1/stat").arg(process));
        const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
        return !line.isEmpty() && line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
    };
    for (const qint64 process : processes) {
        ::kill(static_cast<pid_t>(process), SIGKILL);
    }
    return QTest::qWaitFor([&] { return std::none_of(processes.begin(), processes.end(), runs); },
                           startLimit);
}

} // namespace

class TestQtSpeechEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void voiceForLanguage_data();
    void voiceForLanguage();
    void utteranceFinishes_data();
    void utteranceFinishes();
    void interruptedUtteranceIsCancelled_data();
    void interruptedUtteranceIsCancelled();
    void unusableServerMakesItUnavailable_data();
    void unusableServerMakesItUnavailable();
    void serverGoneMakesItUnavailable();
    void closesPromptly_data();
    void closesPromptly();

private:
    QString newRuntimeDir();
    bool allReported(SpeechEngine &engine, QSignalSpy &finished);

    TestHome m_home;
    std::vector<std::unique_ptr<QTemporaryDir>> m_runtimeDirs; // a server may run under each
    std::unique_ptr<QtSpeechEngine> m_engine;
    quint64 m_lastUtterance = 100;
};

QString TestQtSpeechEngine::newRuntimeDir()
{
    return m_runtimeDirs.emplace_back(std::make_unique<QTemporaryDir>())->path();
}

void TestQtSpeechEngine::initTestCase()
{
    QVERIFY2(QFile::exists(systemConfig), "speech-dispatcher is not installed");
    QVERIFY(writeServerConfig(qEnvironmentVariable("XDG_CONFIG_HOME"), nullAudio));
    const QString runtimeDir = newRuntimeDir();
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir));
    qputenv("SPEECHD_ADDRESS", serverAddress(runtimeDir));

    // Starting the server takes a second or more, which the constructor must not wait for: here
    // the server cannot start before the constructor has returned.
    const ServerGate gate;
    QVERIFY(gate.isValid());
    qputenv("SPEECHD_CMD", QFile::encodeName(gate.command()));
    const auto unsetCommand = qScopeGuard([] { qunsetenv("SPEECHD_CMD"); });
    m_engine = std::make_unique<QtSpeechEngine>();
    QCOMPARE(m_engine->state(), SpeechEngine::State::starting);
    QSignalSpy stateChanged(m_engine.get(), &SpeechEngine::stateChanged);
    QVERIFY(gate.open());
    QTRY_VERIFY_WITH_TIMEOUT(!stateChanged.isEmpty(), startLimit);
    QCOMPARE(stateChanged.first().first().value<SpeechEngine::State>(), SpeechEngine::State::ready);

    // Told apart by id, matched by BCP 47 code, with the region where the server has one.
    const QRegularExpression bcp47(QStringLiteral("^(und|[a-z]{2,3}(-([A-Z]{2}|[0-9]{3}))?)$"));
    QSet<QString> ids;
    QSet<QString> languages;
    for (const SpeechEngine::Voice &voice : m_engine->voices()) {
        QVERIFY2(bcp47.match(voice.language).hasMatch(), qPrintable(voice.language));
        QVERIFY2(!voice.id.isEmpty() && !ids.contains(voice.id), qPrintable(voice.id));
        ids.insert(voice.id);
        languages.insert(voice.language);
    }
    for (const char *language : {"en-US", "en-GB", "de-DE", "fr-FR", "nb-NO", "ja-JP", "zh"}) {
        QVERIFY2(languages.contains(QString::fromLatin1(language)), language);
    }
}

void TestQtSpeechEngine::cleanupTestCase()
{
    m_engine.reset();
    for (const auto &runtimeDir : m_runtimeDirs) {
        QVERIFY2(stopServer(runtimeDir->path()), qPrintable(runtimeDir->path()));
    }
}

// Speaks one more word and waits for its end. The engine's reports come through the same queues
// in order, so whatever it still had to report about the utterances before has come by then.
// The word's own report is taken out of `finished` again.
bool TestQtSpeechEngine::allReported(SpeechEngine &engine, QSignalSpy &finished)
{
    const quint64 marker = ++m_lastUtterance;
    engine.speak(marker, QStringLiteral("Done."), std::nullopt, 0.48, 1.0);
    const bool reported = QTest::qWaitFor(
        [&] { return !finished.isEmpty() && finished.last().first().toULongLong() == marker; },
        utteranceLimit);
    if (reported) {
        finished.removeLast();
    }
    return reported;
}

void TestQtSpeechEngine::voiceForLanguage_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("expected"); // a pattern for the voice's language; empty for none

    QTest::newRow("language and region") << QStringLiteral("en-GB") << QStringLiteral("^en-GB$");
    QTest::newRow("odd spelling") << QStringLiteral("pt_br") << QStringLiteral("^pt-BR$");
    QTest::newRow("Norwegian") << QStringLiteral("no") << QStringLiteral("^nb-NO$");
    QTest::newRow("region without voice") << QStringLiteral("de-AT") << QStringLiteral("^de-");
    QTest::newRow("script") << QStringLiteral("zh-Hans") << QStringLiteral("^zh$");
    QTest::newRow("nonsense") << QStringLiteral("nonsense") << QString();
    QTest::newRow("undetermined") << QStringLiteral("und") << QString();
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

void TestQtSpeechEngine::utteranceFinishes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("language"); // of the voice; empty for the default one
    QTest::addColumn<double>("rate");
    QTest::addColumn<double>("pitch");

    const QString hello = QStringLiteral("Hello there.");
    QTest::newRow("as the app speaks") << hello << QStringLiteral("en-US") << 0.48 << 1.0;
    QTest::newRow("default voice") << hello << QString() << 0.5 << 1.0;
    QTest::newRow("nonsense values") << hello << QStringLiteral("en-US") << qQNaN() << -1.0;
    QTest::newRow("Mandarin") << QStringLiteral("你好。") << QStringLiteral("zh") << 0.48 << 1.0;
    // Nothing to say: Qt drops blank text without a word.
    QTest::newRow("blank") << QStringLiteral(" \n\t") << QString() << 0.48 << 1.0;
}

void TestQtSpeechEngine::utteranceFinishes()
{
    QFETCH(QString, text);
    QFETCH(QString, language);
    QFETCH(double, rate);
    QFETCH(double, pitch);

    const auto voice = m_engine->voiceForLanguage(language);
    QCOMPARE(voice.has_value(), !language.isEmpty());
    QSignalSpy finished(m_engine.get(), &SpeechEngine::finished);
    QSignalSpy cancelled(m_engine.get(), &SpeechEngine::cancelled);
    const quint64 utterance = ++m_lastUtterance;

    m_engine->speak(utterance, text, voice, rate, pitch);
    QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), utteranceLimit);
    QVERIFY(allReported(*m_engine, finished));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toULongLong(), utterance);
    QCOMPARE(cancelled.size(), 0);
}

void TestQtSpeechEngine::interruptedUtteranceIsCancelled_data()
{
    QTest::addColumn<int>("delay");    // ms into the long utterance
    QTest::addColumn<bool>("replace"); // by the next utterance, not by stop()

    for (const int delay : {0, 50, 500}) { // from before the server begins to well into it
        QTest::addRow("stop after %d ms", delay) << delay << false;
        QTest::addRow("replace after %d ms", delay) << delay << true;
    }
}

// The server has to stop for real: the next utterance would otherwise wait behind the long one.
void TestQtSpeechEngine::interruptedUtteranceIsCancelled()
{
    QFETCH(int, delay);
    QFETCH(bool, replace);

    const auto voice = m_engine->voiceForLanguage(QStringLiteral("en-US"));
    QSignalSpy finished(m_engine.get(), &SpeechEngine::finished);
    QSignalSpy cancelled(m_engine.get(), &SpeechEngine::cancelled);
    const quint64 interrupted = ++m_lastUtterance;
    const quint64 next = ++m_lastUtterance;

    m_engine->speak(interrupted, longText, voice, 0.48, 1.0);
    QTest::qWait(delay); // where the utterance is interrupted, not a wait for anything
    if (!replace) {
        m_engine->stop();
        QTRY_COMPARE_WITH_TIMEOUT(cancelled.size(), 1, utteranceLimit);
    }
    m_engine->speak(next, QStringLiteral("And now for something short."), voice, 0.48, 1.0);
    QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), utteranceLimit);
    QVERIFY(allReported(*m_engine, finished));
    QCOMPARE(cancelled.size(), 1);
    QCOMPARE(cancelled.first().first().toULongLong(), interrupted);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toULongLong(), next);
}

void TestQtSpeechEngine::unusableServerMakesItUnavailable_data()
{
    QTest::addColumn<QByteArray>("config"); // for the server
    QTest::addColumn<bool>("elsewhere");    // the engine asks for a server at another address

    // The server started for it will not listen there, and gives up.
    QTest::newRow("no server") << QByteArray() << true;
    // The server gives up at once when it cannot load any output module.
    QTest::newRow("no output module") << QByteArray("AddModule \"missing\" \"sd_quenzal_missing\" "
                                                    "\"missing.conf\"\nDefaultModule missing\n")
                                      << false;
}

void TestQtSpeechEngine::unusableServerMakesItUnavailable()
{
    QFETCH(QByteArray, config);
    QFETCH(bool, elsewhere);

    const QString runtimeDir = newRuntimeDir();
    QTemporaryDir configHome;
    QVERIFY(writeServerConfig(configHome.path(), nullAudio + config));
    const auto environment =
        serverEnvironment(runtimeDir, elsewhere ? "/none" : "",
                          {{"XDG_CONFIG_HOME", QFile::encodeName(configHome.path())}});

    QtSpeechEngine engine;
    QSignalSpy stateChanged(&engine, &SpeechEngine::stateChanged);
    QSignalSpy finished(&engine, &SpeechEngine::finished);
    QSignalSpy cancelled(&engine, &SpeechEngine::cancelled);
    QTRY_VERIFY_WITH_TIMEOUT(!stateChanged.isEmpty(), startLimit);
    QCOMPARE(engine.state(), SpeechEngine::State::unavailable);
    QVERIFY(engine.voices().isEmpty());
    QVERIFY(!engine.voiceForLanguage(QStringLiteral("en-US")));

    // An engine that is of no use does nothing when asked: no report is on its way once the
    // calls return, not even a queued one.
    engine.speak(1, QStringLiteral("Hello there."), std::nullopt, 0.48, 1.0);
    engine.stop();
    QCoreApplication::sendPostedEvents();
    QCOMPARE(finished.size() + cancelled.size(), 0);
    QCOMPARE(stateChanged.size(), 1);
    QVERIFY2(stopServer(runtimeDir), "a server was left running");
}

// Gone between two utterances (killed, restarted by an upgrade): Qt never connects again, so
// the next utterance fails and the engine is of no more use.
void TestQtSpeechEngine::serverGoneMakesItUnavailable()
{
    const QString runtimeDir = newRuntimeDir();
    const auto environment = serverEnvironment(runtimeDir);
    QtSpeechEngine engine;
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), SpeechEngine::State::ready, startLimit);
    QSignalSpy stateChanged(&engine, &SpeechEngine::stateChanged);
    QSignalSpy finished(&engine, &SpeechEngine::finished);
    QSignalSpy cancelled(&engine, &SpeechEngine::cancelled);
    QVERIFY(stopServer(runtimeDir));

    engine.speak(7, QStringLiteral("Anybody there?"), std::nullopt, 0.48, 1.0);
    QTRY_COMPARE_WITH_TIMEOUT(cancelled.size(), 1, utteranceLimit);
    QCOMPARE(cancelled.first().first().toULongLong(), 7u);
    QCOMPARE(engine.state(), SpeechEngine::State::unavailable);
    QCOMPARE(stateChanged.size(), 1);
    engine.speak(8, QStringLiteral("Hello?"), std::nullopt, 0.48, 1.0);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(finished.size() + cancelled.size(), 1);
}

void TestQtSpeechEngine::closesPromptly_data()
{
    QTest::addColumn<bool>("started");

    // Still making Qt's engine, which it has to wait for, though not for ever: the server is
    // held at its start until the engine is gone.
    QTest::newRow("while starting") << false;
    // The server answers, so the engine closes for good instead of giving up on it.
    QTest::newRow("while speaking") << true;
}

// And without taking the process down with a thread still running.
void TestQtSpeechEngine::closesPromptly()
{
    QFETCH(bool, started);

    const QString runtimeDir = newRuntimeDir(); // so that a server has to start
    const ServerGate gate;
    QVERIFY(gate.isValid());
    const auto environment =
        serverEnvironment(runtimeDir, {}, {{"SPEECHD_CMD", QFile::encodeName(gate.command())}});
    const int workers = threadsNamed(workerName);
    auto engine = std::make_unique<QtSpeechEngine>();
    if (started) {
        QVERIFY(gate.open());
        QTRY_COMPARE_WITH_TIMEOUT(engine->state(), SpeechEngine::State::ready, startLimit);
        engine->speak(1, longText, std::nullopt, 0.48, 1.0);
        QTest::qWait(500); // half a second into it, as a listener stops; not a wait for anything
        QTest::failOnWarning(QRegularExpression(QStringLiteral("does not answer")));
    }
    engine.reset();

    // A worker left behind finishes once the server has started, and goes.
    QVERIFY(gate.open());
    QTRY_VERIFY_WITH_TIMEOUT(threadsNamed(workerName) <= workers, startLimit);
}

int main(int argc, char *argv[])
{
    // A locale every system has, for the server and espeak-ng.
    qputenv("LANG", "C.UTF-8");
    qunsetenv("LC_ALL");
    qunsetenv("LANGUAGE");
    qputenv("QT_LOGGING_RULES", "quenzal.speech.debug=true"); // the engine's timings
    // libspeechd writes to its socket with write(), so a server that has gone raises SIGPIPE in
    // the engine's worker unless libspeechd's own thread has seen it go first. The engine leaves
    // SIGPIPE as it is; ignored here, serverGoneMakesItUnavailable() does not depend on which
    // thread is first.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    TestQtSpeechEngine test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_qtspeechengine.moc"
