#include "qtspeechengine.h"

#include <QElapsedTimer>
#include <QHash>
#include <QLocale>
#include <QLoggingCategory>
#include <QMutex>
#include <QPointer>
#include <QSet>
#include <QTextToSpeech>
#include <QThread>
#include <QVoice>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>

// What Qt TextToSpeech 6.4 does over speech-dispatcher 0.11 (Debian 12, espeak-ng 1.51), and
// what this adapter makes of it:
//
// - Creating QTextToSpeech connects to speech-dispatcher, starting it when it is not running,
//   and reads every voice: 1.15-1.35 s here, of which the server's start is only 0.1-0.15 s;
//   the rest is libspeechd taking in espeak-ng's list of 13362 voices, line by line, also when
//   the server was running already. A missing or broken server is reported as the Error state
//   within 150 ms (the server exits at once when none of its output modules loads).
// - Qt knows a voice only by name and QLocale, which it makes from the server's language code.
//   Codes QLocale does not know end up as the C locale, Mandarin ("cmn") among them, and a
//   bare language gains its likely region ("pt", European Portuguese to espeak-ng, becomes
//   pt_BR). availableVoices() lists the current locale's voices only, so the list is
//   collected locale by locale: 103 locales, 13362 voices in 40 ms, as espeak-ng offers each of
//   its 131 voices also with each of its 100-odd variants ("English (America)+Max"). Variants
//   are left out here.
// - State changes come from the server's notifications, on libspeechd's own thread, without
//   saying which message they belong to; Qt folds "ended" and "cancelled" into Ready and drops
//   repeats of the same state. An utterance counts as begun once Speaking is seen after it was
//   sent, and as over at the next Ready. Two utterances sent within milliseconds of each other
//   can still mix up their notifications; the later one may then be reported finished early.
// - A server whose audio output fails (PulseAudio configured, none running) sends Speaking and
//   then nothing, and sooner or later a call into it never returns, stop() or closing the
//   engine included. A server that dies leaves Qt in its last state; from then on say() fails
//   with ErrorReason::Input and the getters crash in libspeechd. Hence the time limits below,
//   the care taken before setRate(), and a worker that may have to be left behind.

namespace {

Q_LOGGING_CATEGORY(lcSpeech, "quenzal.speech", QtInfoMsg)

using namespace std::chrono_literals;

// Several times the slowest start seen; the server is as good as dead after that.
constexpr auto startLimit = 20s;
// A healthy server answers a call within milliseconds, also under load.
constexpr auto commandLimit = 10s;
// espeak-ng's slowest rate is 80 words a minute, under ten characters of English a second and
// fewer of Chinese; an utterance that is still not over after this has been lost by the server.
constexpr auto utteranceLimitBase = 15s;
constexpr auto utteranceLimitPerCharacter = 500ms;
// Covers an engine that is still being created (2.5 s at most) when its owner goes.
constexpr auto closeLimit = 3s;

const QString undetermined = QStringLiteral("und");

// BCP 47 from language and region; QLocale::bcp47Name() leaves out the region whenever it is
// the language's most likely one ("en" for en_US), which would hide the region voices differ
// by. "001" (the world, Esperanto's region to QLocale) says nothing and is left out too.
QString languageCode(const QLocale &locale)
{
    if (locale.language() == QLocale::C || locale.language() == QLocale::AnyLanguage) {
        return undetermined;
    }
    QString code = QLocale::languageToCode(locale.language());
    if (locale.territory() != QLocale::AnyTerritory && locale.territory() != QLocale::World) {
        code += u'-' + QLocale::territoryToCode(locale.territory());
    }
    return code;
}

// The language a voice name starts with, as in "Chinese (Mandarin, latin as Pinyin)".
QLocale::Language languageNamed(const QString &voiceName)
{
    const QString name = voiceName.section(QStringLiteral(" ("), 0, 0).trimmed();
    for (int value = QLocale::AnyLanguage + 1; value <= QLocale::LastLanguage; ++value) {
        const auto language = static_cast<QLocale::Language>(value);
        if (QLocale::languageToString(language).compare(name, Qt::CaseInsensitive) == 0) {
            return language;
        }
    }
    return QLocale::AnyLanguage;
}

std::optional<SpeechEngine::Voice> findVoice(const QList<SpeechEngine::Voice> &voices,
                                             const QString &language)
{
    const auto first = [&voices](auto matches) -> std::optional<SpeechEngine::Voice> {
        const auto found = std::find_if(voices.begin(), voices.end(), matches);
        return found == voices.end() ? std::nullopt : std::optional(*found);
    };
    const QString wanted = QString(language).replace(u'_', u'-').trimmed();
    const QLocale locale(wanted);
    if (locale.language() == QLocale::C || locale.language() == QLocale::AnyLanguage) {
        return std::nullopt;
    }
    if (auto exact = first([&wanted](const SpeechEngine::Voice &voice) {
            return voice.language.compare(wanted, Qt::CaseInsensitive) == 0;
        })) {
        return exact;
    }
    // "no" is nb-NO and "en" is en-US to QLocale, which also sets the case right.
    const QString full = languageCode(locale);
    if (auto likely =
            first([&full](const SpeechEngine::Voice &voice) { return voice.language == full; })) {
        return likely;
    }
    const QString base = QLocale::languageToCode(locale.language());
    return first([&base](const SpeechEngine::Voice &voice) {
        return voice.language == base || voice.language.startsWith(base + u'-');
    });
}

// 0..1 with 0.5 as normal onto Qt's -1..1 with 0 as normal, in equal steps: speech-dispatcher
// scales its own -100..100 linearly too.
double qtRate(double rate)
{
    return std::isfinite(rate) ? std::clamp(2.0 * rate - 1.0, -1.0, 1.0) : 0.0;
}

// A multiplier onto Qt's -1..1: one octave either way spans the range, so doubling and halving
// move equally far from normal.
double qtPitch(double pitch)
{
    return std::isfinite(pitch) && pitch > 0 ? std::clamp(std::log2(pitch), -1.0, 1.0) : 0.0;
}

std::chrono::milliseconds utteranceLimit(const QString &text)
{
    return std::min<std::chrono::milliseconds>(
        utteranceLimitBase + utteranceLimitPerCharacter * text.size(), 24h);
}

} // namespace

struct QtSpeechEngine::Backend
{
    // Where reports go; cleared under the mutex when the engine is destroyed.
    QMutex mutex;
    QtSpeechEngine *owner = nullptr;
    // Set on destruction: commands still queued then are skipped.
    std::atomic<bool> closing = false;

    // The worker thread's own.
    std::unique_ptr<QTextToSpeech> engine;
    QHash<QString, QVoice> voices; // by id
    QVoice defaultVoice;
    std::optional<double> rate; // as last set, in Qt's terms
    std::optional<double> pitch;
    quint64 serial = 0; // of the utterance sent to the server and not over yet, 0 for none
    bool begun = false;
};

QtSpeechEngine::QtSpeechEngine(QObject *parent)
    : SpeechEngine(parent)
    , m_backend(std::make_shared<Backend>())
    , m_thread(std::make_unique<QThread>())
    , m_context(std::make_unique<QObject>())
{
    m_backend->owner = this;
    m_thread->setObjectName(QStringLiteral("speech"));
    m_context->moveToThread(m_thread.get());

    m_startLimit.setSingleShot(true);
    m_startLimit.setInterval(startLimit);
    connect(&m_startLimit, &QTimer::timeout, this, [this] {
        qCWarning(lcSpeech) << "speech-dispatcher did not start in time";
        onFailed();
    });
    m_utteranceLimit.setSingleShot(true);
    connect(&m_utteranceLimit, &QTimer::timeout, this, [this] {
        qCWarning(lcSpeech) << "speech-dispatcher lost an utterance; stopping it";
        endUtterance(false, false);
        postCommand([](const std::shared_ptr<Backend> &backend) { stopOnBackend(backend); });
    });
    m_commandLimit.setSingleShot(true);
    m_commandLimit.setInterval(commandLimit);
    connect(&m_commandLimit, &QTimer::timeout, this, [this] {
        qCWarning(lcSpeech) << "speech-dispatcher stopped answering";
        onFailed();
    });

    m_thread->start();
    m_startLimit.start();
    QMetaObject::invokeMethod(
        m_context.get(), [backend = m_backend] { startBackend(backend); }, Qt::QueuedConnection);
}

QtSpeechEngine::~QtSpeechEngine()
{
    {
        QMutexLocker lock(&m_backend->mutex);
        m_backend->owner = nullptr;
    }
    m_backend->closing = true;
    QMetaObject::invokeMethod(
        m_context.get(), [backend = m_backend] { closeBackend(backend); }, Qt::QueuedConnection);
    if (m_thread->wait(QDeadlineTimer(closeLimit))) {
        m_context.reset(); // safe from here now that its thread is over
        return;
    }

    // Deleting a running QThread aborts the process, and the worker is stuck in a call that
    // only the server can end. Both are left to go once that call returns and closeBackend()
    // has run; should the server never answer, they go with the process.
    qCWarning(lcSpeech) << "speech-dispatcher does not answer; closing the speech engine later";
    QThread *thread = m_thread.release();
    const QPointer<QObject> context = m_context.release();
    connect(thread, &QThread::finished, context.data(), &QObject::deleteLater);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    if (thread->isFinished()) { // just now, maybe before the connections were made
        delete context.data();
        delete thread;
    }
}

SpeechEngine::State QtSpeechEngine::state() const
{
    return m_state;
}

QList<SpeechEngine::Voice> QtSpeechEngine::voices() const
{
    return m_voices;
}

std::optional<SpeechEngine::Voice> QtSpeechEngine::voiceForLanguage(const QString &language) const
{
    return findVoice(m_voices, language);
}

void QtSpeechEngine::speak(quint64 utterance, const QString &text,
                           const std::optional<Voice> &voice, double rate, double pitch)
{
    if (m_state != State::ready) {
        return;
    }
    const bool replacing = m_serial != 0;
    if (replacing) {
        endUtterance(false, true);
    }
    if (text.trimmed().isEmpty()) {
        if (replacing) {
            postCommand([](const std::shared_ptr<Backend> &backend) { stopOnBackend(backend); });
        }
        QMetaObject::invokeMethod(
            this, [this, utterance] { emit finished(utterance); }, Qt::QueuedConnection);
        return;
    }

    QString voiceId;
    if (voice) {
        const bool known =
            std::any_of(m_voices.begin(), m_voices.end(),
                        [&voice](const Voice &mine) { return mine.id == voice->id; });
        if (known) {
            voiceId = voice->id;
        } else if (const auto forLanguage = voiceForLanguage(voice->language)) {
            voiceId = forLanguage->id;
        }
    }
    // Our own serial numbers tell the server's reports apart, whatever numbers the caller uses.
    const quint64 serial = ++m_lastSerial;
    m_serial = serial;
    m_utterance = utterance;
    m_utteranceLimit.start(utteranceLimit(text));
    postCommand(
        [=, rate = qtRate(rate), pitch = qtPitch(pitch)](const std::shared_ptr<Backend> &backend) {
            speakOnBackend(backend, serial, text, voiceId, rate, pitch);
        });
}

void QtSpeechEngine::stop()
{
    if (m_state != State::ready || m_serial == 0) {
        return;
    }
    endUtterance(false, true);
    postCommand([](const std::shared_ptr<Backend> &backend) { stopOnBackend(backend); });
}

template <typename Command> void QtSpeechEngine::postCommand(Command command)
{
    ++m_commandsPending;
    if (!m_commandLimit.isActive()) {
        m_commandLimit.start();
    }
    QMetaObject::invokeMethod(
        m_context.get(),
        [backend = m_backend, command] {
            if (backend->closing) {
                return;
            }
            command(backend);
            report(backend, [](QtSpeechEngine *engine) { engine->onCommandDone(); });
        },
        Qt::QueuedConnection);
}

void QtSpeechEngine::onStarted(const QList<Voice> &voices)
{
    if (m_state != State::starting) {
        return; // too late: it has been given up on
    }
    m_startLimit.stop();
    m_voices = voices;
    setState(State::ready);
}

void QtSpeechEngine::onFailed()
{
    if (m_state == State::unavailable) {
        return;
    }
    m_startLimit.stop();
    m_commandLimit.stop();
    m_voices.clear();
    if (m_serial != 0) {
        endUtterance(false, false);
    }
    setState(State::unavailable);
}

void QtSpeechEngine::onUtteranceEnded(quint64 serial, bool completed)
{
    if (serial == m_serial) { // else already stopped, replaced or given up on
        endUtterance(completed, false);
    }
}

void QtSpeechEngine::onCommandDone()
{
    --m_commandsPending;
    if (m_commandsPending > 0 && m_state == State::ready) {
        m_commandLimit.start(); // it answers, so the time starts again for the next one
    } else {
        m_commandLimit.stop();
    }
}

void QtSpeechEngine::endUtterance(bool completed, bool later)
{
    const quint64 utterance = m_utterance;
    m_serial = 0;
    m_utterance = 0;
    m_utteranceLimit.stop();
    // From speak() and stop() the report is queued: callers get it after their call returns,
    // never from inside it.
    const auto emitEnd = [this, utterance, completed] {
        if (completed) {
            emit finished(utterance);
        } else {
            emit cancelled(utterance);
        }
    };
    if (later) {
        QMetaObject::invokeMethod(this, emitEnd, Qt::QueuedConnection);
    } else {
        emitEnd();
    }
}

void QtSpeechEngine::setState(State state)
{
    if (m_state != state) {
        m_state = state;
        emit stateChanged(state);
    }
}

template <typename Report>
void QtSpeechEngine::report(const std::shared_ptr<Backend> &backend, Report report)
{
    QMutexLocker lock(&backend->mutex);
    if (QtSpeechEngine *owner = backend->owner) {
        QMetaObject::invokeMethod(
            owner, [owner, report] { report(owner); }, Qt::QueuedConnection);
    }
}

void QtSpeechEngine::startBackend(const std::shared_ptr<Backend> &backend)
{
    const auto fail = [&backend] {
        backend->engine.reset();
        report(backend, [](QtSpeechEngine *engine) { engine->onFailed(); });
    };
    QElapsedTimer clock;
    clock.start();
    if (QTextToSpeech::availableEngines().isEmpty()) {
        qCWarning(lcSpeech) << "no Qt TextToSpeech plug-in is installed";
        fail();
        return;
    }
    backend->engine = std::make_unique<QTextToSpeech>();
    QTextToSpeech &engine = *backend->engine;
    const qint64 created = clock.restart();
    qCDebug(lcSpeech) << "engine" << engine.engine() << "created in" << created << "ms";
    if (backend->closing) {
        return;
    }
    // Qt also reports Error when it found no voice for the system's locale, which leaves the
    // engine usable with the voices it has.
    if (engine.engine().isEmpty() ||
        engine.errorReason() == QTextToSpeech::ErrorReason::Initialization) {
        qCWarning(lcSpeech) << "speech is unavailable:" << engine.errorString();
        fail();
        return;
    }

    const QVoice initialVoice = engine.voice();
    QList<std::pair<QLocale, QVoice>> listed;
    QSet<QString> names;
    for (const QLocale &locale : engine.availableLocales()) {
        engine.setLocale(locale);
        if (engine.locale() != locale) {
            continue;
        }
        for (const QVoice &voice : engine.availableVoices()) {
            listed.append(
                {voice.locale().language() != QLocale::C ? voice.locale() : locale, voice});
            names.insert(voice.name());
        }
    }
    // A variant may even land under a locale of its own: "Arabic+Mr_Serious" as ar_MR.
    QList<std::pair<QString, QVoice>> found; // language code, voice
    QSet<QLocale::Language> spokenLanguages;
    for (const auto &[locale, voice] : listed) {
        const qsizetype plus = voice.name().lastIndexOf(u'+');
        if (plus <= 0 || !names.contains(voice.name().left(plus))) {
            found.append({languageCode(locale), voice});
            spokenLanguages.insert(locale.language());
        }
    }
    // A voice under the C locale may still be named after a language that no other voice
    // speaks, like the Mandarin ones: without that, Chinese could not be spoken at all.
    for (auto &[language, voice] : found) {
        if (language != undetermined) {
            continue;
        }
        const QLocale::Language named = languageNamed(voice.name());
        if (named != QLocale::AnyLanguage && !spokenLanguages.contains(named)) {
            language = QLocale::languageToCode(named);
        }
    }
    // Grouped by language, the engine's order within one; undetermined ones last.
    std::stable_sort(found.begin(), found.end(), [](const auto &left, const auto &right) {
        return std::pair(left.first == undetermined, left.first) <
               std::pair(right.first == undetermined, right.first);
    });

    QList<Voice> voices;
    for (const auto &[language, voice] : found) {
        QString id = voice.name();
        for (int copy = 2; backend->voices.contains(id); ++copy) {
            id = QStringLiteral("%1 (%2)").arg(voice.name()).arg(copy);
        }
        backend->voices.insert(id, voice);
        voices.append({id, language, Quality::standard});
    }
    qCDebug(lcSpeech) << "listed" << listed.size() << "voices in" << clock.elapsed() << "ms, kept"
                      << voices.size();
    if (voices.isEmpty()) {
        qCWarning(lcSpeech) << "speech-dispatcher offers no voices";
        fail();
        return;
    }

    // Qt starts with a voice for the default locale, an arbitrary one for C (Bishnupriya
    // Manipuri here); C stands for English.
    const QLocale preferred = QLocale().language() == QLocale::C
                                  ? QLocale(QLocale::English, QLocale::UnitedStates)
                                  : QLocale();
    if (const auto voice = findVoice(voices, languageCode(preferred))) {
        backend->defaultVoice = backend->voices.value(voice->id);
    } else if (initialVoice != QVoice()) {
        backend->defaultVoice = initialVoice;
    } else {
        backend->defaultVoice = backend->voices.value(voices.first().id);
    }
    engine.setVoice(backend->defaultVoice);

    // Emitted on libspeechd's thread, so queued whatever the connection type says; explicitly
    // queued also when Qt emits from inside one of our calls.
    connect(
        &engine, &QTextToSpeech::stateChanged, &engine,
        [backend](QTextToSpeech::State state) { onBackendStateChanged(backend, state); },
        Qt::QueuedConnection);
    connect(&engine, &QTextToSpeech::errorOccurred, &engine,
            [](QTextToSpeech::ErrorReason reason, const QString &message) {
                qCWarning(lcSpeech) << "speech-dispatcher:" << reason << message;
            });
    report(backend, [voices](QtSpeechEngine *engine) { engine->onStarted(voices); });
}

void QtSpeechEngine::speakOnBackend(const std::shared_ptr<Backend> &backend, quint64 serial,
                                    const QString &text, const QString &voiceId, double rate,
                                    double pitch)
{
    QTextToSpeech &engine = *backend->engine;
    const auto fail = [&backend] {
        qCWarning(lcSpeech) << "lost the connection to speech-dispatcher";
        backend->serial = 0;
        report(backend, [](QtSpeechEngine *engine) { engine->onFailed(); });
    };
    // One at a time: Qt only stops what it knows to be speaking, while an utterance the server
    // has not begun yet would otherwise be spoken first.
    backend->serial = 0;
    engine.stop();

    // Once the server is gone, libspeechd crashes in its getters, and Qt's setRate() and
    // setPitch() call them first. Changing the voice is a round trip whose failure Qt does
    // report, so one is made before them, with a detour through another voice if need be.
    const QVoice voice = backend->voices.value(voiceId, backend->defaultVoice);
    const bool retune = backend->rate != rate || backend->pitch != pitch;
    if (retune && engine.voice() == voice) {
        QVoice other = backend->defaultVoice;
        for (auto each = backend->voices.cbegin(); other == voice && each != backend->voices.cend();
             ++each) {
            other = *each;
        }
        if (other != voice) {
            engine.setVoice(other);
            if (engine.voice() != other) {
                fail();
                return;
            }
        }
    }
    engine.setVoice(voice);
    if (engine.voice() != voice) {
        fail();
        return;
    }
    if (retune) {
        engine.setRate(rate);
        engine.setPitch(pitch);
        backend->rate = rate;
        backend->pitch = pitch;
    }

    backend->serial = serial;
    backend->begun = false;
    engine.say(text);
    if (engine.errorReason() == QTextToSpeech::ErrorReason::Input) {
        fail(); // the connection is gone (Qt never opens a new one), or the server refuses
    }
}

void QtSpeechEngine::stopOnBackend(const std::shared_ptr<Backend> &backend)
{
    backend->serial = 0;
    backend->engine->stop();
}

void QtSpeechEngine::closeBackend(const std::shared_ptr<Backend> &backend)
{
    backend->engine.reset();
    QThread::currentThread()->quit();
}

void QtSpeechEngine::onBackendStateChanged(const std::shared_ptr<Backend> &backend, int qtState)
{
    const quint64 serial = backend->serial;
    if (serial == 0) {
        return;
    }
    switch (static_cast<QTextToSpeech::State>(qtState)) {
    case QTextToSpeech::Speaking:
        backend->begun = true;
        return;
    case QTextToSpeech::Ready:
    case QTextToSpeech::Error:
        // Until it has begun, Ready is what stopping the one before left behind.
        if (!backend->begun) {
            return;
        }
        backend->serial = 0;
        report(backend,
               [serial, completed = qtState == QTextToSpeech::Ready](QtSpeechEngine *engine) {
                   engine->onUtteranceEnded(serial, completed);
               });
        return;
    case QTextToSpeech::Paused:
        return;
    }
}
