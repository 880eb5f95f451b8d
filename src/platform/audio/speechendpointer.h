#pragma once

#include <chrono>
#include <cstdint>
#include <span>

// Tells from 16 kHz mono samples when an utterance is over: once speech was heard and then
// `silence` passed without it, or when the recording reaches `longest`.
//
// The signal is measured in 30 ms frames. A frame is speech when its RMS stands 10 dB above the
// noise floor and above -54 dBFS. The floor is the quietest frame of the first 150 ms; it follows
// quieter frames at once and louder ones by 0.66 dB a second, so a fan that starts up stops
// counting as speech after a while, but a few seconds of talking do not raise it much. Speech
// is heard after 90 ms of it in a row, so a click or a cough does not open the utterance.
struct RecordingLimits
{
    std::chrono::milliseconds silence{2'000};
    std::chrono::milliseconds longest{30'000};
};

class SpeechEndpointer
{
public:
    enum class Verdict { listening, silenceAfterSpeech, longestReached };

    explicit SpeechEndpointer(RecordingLimits limits = {});

    Verdict feed(std::span<const float> samples16kMono);
    bool heardSpeech() const { return m_heardSpeech; }
    // The loudest frame since the last call, on a scale of -60 dBFS (0) to 0 dBFS (1).
    float takeLoudness();

private:
    void measureFrame(double rms);

    RecordingLimits m_limits;
    double m_frameSquares = 0;
    int m_frameFill = 0;
    std::int64_t m_samples = 0;
    std::int64_t m_frames = 0;
    double m_floor = 0;
    double m_loudest = 0;
    int m_speechRun = 0;
    std::int64_t m_silentSamples = 0;
    bool m_heardSpeech = false;
};
