#include "fakespeechengine.h"

#include <thread>

FakeSpeechEngine::FakeSpeechEngine(State state)
    : m_state(state)
{}

std::optional<SpeechEngine::Voice> FakeSpeechEngine::voiceForLanguage(const QString &language) const
{
    for (const Voice &voice : lookupVoices) {
        if (voice.language == language) {
            return voice;
        }
    }
    return std::nullopt;
}

void FakeSpeechEngine::speak(quint64 utterance, const QString &text,
                             const std::optional<Voice> &voice, double rate, double pitch)
{
    spoken.append({utterance, text, voice, rate, pitch});
}

void FakeSpeechEngine::setState(State state)
{
    m_state = state;
    emit stateChanged(state);
}

void FakeSpeechEngine::finishFromAnotherThread(std::optional<quint64> utterance)
{
    const quint64 id = utterance.value_or(spoken.isEmpty() ? 0 : spoken.last().id);
    std::thread([this, id] { emit finished(id); }).join();
}

void FakeSpeechEngine::cancelFromAnotherThread(std::optional<quint64> utterance)
{
    const quint64 id = utterance.value_or(spoken.isEmpty() ? 0 : spoken.last().id);
    std::thread([this, id] { emit cancelled(id); }).join();
}
