#pragma once

#include "speechengine.h"

#include <thread>

// Speaks nothing: records what it is asked, and ends utterances from another thread when told.
class FakeSpeechEngine : public SpeechEngine
{
    Q_OBJECT

public:
    struct Utterance
    {
        quint64 id;
        QString text;
        std::optional<Voice> voice;
    };
    State state() const override { return m_state; }
    QList<Voice> voices() const override { return installedVoices; }
    std::optional<Voice> voiceForLanguage(const QString &language) const override
    {
        const auto it =
            std::find_if(lookupVoices.cbegin(), lookupVoices.cend(),
                         [&](const Voice &voice) { return voice.language == language; });
        return it == lookupVoices.cend() ? std::nullopt : std::optional(*it);
    }
    void speak(quint64 utterance, const QString &text, const std::optional<Voice> &voice, double,
               double) override
    {
        spoken.append({utterance, text, voice});
    }
    void stop() override { ++stops; }
    void setState(State state)
    {
        m_state = state;
        emit stateChanged(state);
    }
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

    State m_state = State::ready;
};
