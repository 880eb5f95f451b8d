#pragma once

#include "speechengine.h"

#include <QTimer>

#include <memory>

class QThread;

// SpeechEngine over Qt TextToSpeech (speech-dispatcher on Linux).
//
// Qt's engine lives on a worker thread of its own: creating it starts speech-dispatcher, which
// takes seconds, and every later call is a round trip to that server, which may stop answering
// altogether. This object stays on the thread that made it (the GUI thread), hands the calls to
// the worker, gets the voice list and the engine's reports back as queued calls, and emits all
// of its signals on its own thread. Every utterance ends in exactly one finished() or
// cancelled(), also when the server fails on the way; a server that stops answering, or goes
// away, makes the engine unavailable for good.
//
// voices() has each voice once, without the variants espeak-ng adds to all of them, grouped by
// language. A voice whose language QLocale does not know has "und", unless its name starts with
// a language no other voice speaks: Mandarin ("cmn" to speech-dispatcher) comes as "zh".
class QtSpeechEngine : public SpeechEngine
{
    Q_OBJECT

public:
    // Returns at once; the engine starts in the background and reports through stateChanged().
    explicit QtSpeechEngine(QObject *parent = nullptr);
    // Stops speaking and closes the engine, waiting a few seconds at most: a worker stuck in a
    // server that does not answer is left behind to clean up after itself.
    ~QtSpeechEngine() override;

    State state() const override;
    QList<Voice> voices() const override;
    std::optional<Voice> voiceForLanguage(const QString &language) const override;
    void speak(quint64 utterance, const QString &text, const std::optional<Voice> &voice,
               double rate, double pitch) override;
    void stop() override;

private:
    // What the worker thread works with; shared, as the worker may outlive this object.
    struct Backend;

    // Run on the worker thread; they never touch a QtSpeechEngine but through report().
    static void startBackend(const std::shared_ptr<Backend> &backend);
    static void speakOnBackend(const std::shared_ptr<Backend> &backend, quint64 serial,
                               const QString &text, const QString &voiceId, double rate,
                               double pitch);
    static void stopOnBackend(const std::shared_ptr<Backend> &backend);
    static void closeBackend(const std::shared_ptr<Backend> &backend);
    static void onBackendStateChanged(const std::shared_ptr<Backend> &backend, int qtState);
    // Runs `report(engine)` on the engine's thread, unless the engine is gone by then.
    template <typename Report>
    static void report(const std::shared_ptr<Backend> &backend, Report report);

    // Run on this object's thread.
    template <typename Command> void postCommand(Command command);
    void onStarted(const QList<Voice> &voices);
    void onFailed();
    void onUtteranceEnded(quint64 serial, bool completed);
    void onCommandDone();
    // Forgets the current utterance and reports its end, after the current call when `later`.
    void endUtterance(bool completed, bool later);
    void setState(State state);

    std::shared_ptr<Backend> m_backend;
    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<QObject> m_context; // lives on the worker; commands are queued to it
    State m_state = State::starting;
    QList<Voice> m_voices;
    // The utterance being spoken: our serial number for it (0 for none) and the caller's.
    quint64 m_lastSerial = 0;
    quint64 m_serial = 0;
    quint64 m_utterance = 0;
    int m_commandsPending = 0;
    QTimer m_startLimit;
    QTimer m_utteranceLimit;
    QTimer m_commandLimit;
};
