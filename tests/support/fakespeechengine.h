#pragma once

#include "speechengine.h"

#include <QStringList>

#include <thread>

// A speech engine that speaks nothing: it records what it is asked and reports the end of an
// utterance when the test says so, from a thread of its own.
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

    explicit FakeSpeechEngine(State state = State::ready)
        : m_state(state)
    {}

    State state() const override { return m_state; }
    QList<Voice> voices() const override { return installedVoices; }
    std::optional<Voice> voiceForLanguage(const QString &language) const override
    {
        for (const Voice &voice : lookupVoices) {
            if (voice.language == language) {
                return voice;
            }
        }
        return std::nullopt;
    }
    void speak(quint64 utterance, const QString &text, const std::optional<Voice> &voice,
               double rate, double pitch) override
    {
        spoken.append({utterance, text, voice, rate, pitch});
    }
    void stop() override { ++stops; }

    // Announces the change, as an engine that finished starting.
    void setState(State state)
    {
        m_state = state;
        emit stateChanged(state);
    }
    // Report the end of an utterance (the last one spoken by default).
    void finishFromAnotherThread(std::optional<quint64> utterance = {})
    {
        std::thread([this, id = idOf(utterance)] { emit finished(id); }).join();
    }
    void cancelFromAnotherThread(std::optional<quint64> utterance = {})
    {
        std::thread([this, id = idOf(utterance)] { emit cancelled(id); }).join();
    }

    QList<Voice> installedVoices;
    QList<Voice> lookupVoices; // what voiceForLanguage() finds, by exact language
    QList<Utterance> spoken;
    int stops = 0;

private:
    quint64 idOf(std::optional<quint64> utterance) const
    {
        return utterance.value_or(spoken.isEmpty() ? 0 : spoken.last().id);
    }

    State m_state;
};
