#pragma once

#include "speechengine.h"

#include <QStringList>

// A speech engine that speaks nothing: it records what it is asked and reports the end of an
// utterance when the test says so, from a thread of its own if wanted.
class FakeSpeechEngine : public SpeechEngine
{
    Q_OBJECT

public:
    struct Utterance
    {
        quint64 id = 0;
        QString text;
        std::optional<Voice> voice;
        double rate = 0;
        double pitch = 0;
    };

    explicit FakeSpeechEngine(State state = State::ready);

    State state() const override { return m_state; }
    QList<Voice> voices() const override { return installedVoices; }
    std::optional<Voice> voiceForLanguage(const QString &language) const override;
    void speak(quint64 utterance, const QString &text, const std::optional<Voice> &voice,
               double rate, double pitch) override;
    void stop() override { ++stops; }

    void setState(State state); // announces the change, as an engine that finished starting
    // Report the end of an utterance (the last one spoken by default).
    void finishFromAnotherThread(std::optional<quint64> utterance = {});
    void cancelFromAnotherThread(std::optional<quint64> utterance = {});

    QList<Voice> installedVoices;
    QList<Voice> lookupVoices; // what voiceForLanguage() finds, by exact language
    QList<Utterance> spoken;
    int stops = 0;

private:
    State m_state;
};
