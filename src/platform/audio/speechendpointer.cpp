#include "speechendpointer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr int rate = 16'000;
constexpr int frameLength = rate * 30 / 1000;
constexpr int calibrationFrames = 5;
constexpr double speechOverFloor = 3.162; // 10 dB
constexpr double quietestSpeech = 0.002;  // -54 dBFS
constexpr double floorRisePerFrame = 1.0023;
constexpr int speechFramesToOpen = 3;

std::int64_t samplesOf(std::chrono::milliseconds duration)
{
    return std::int64_t(duration.count()) * rate / 1000;
}

} // namespace

SpeechEndpointer::SpeechEndpointer(RecordingLimits limits)
    : m_limits(limits)
{}

SpeechEndpointer::Verdict SpeechEndpointer::feed(std::span<const float> samples16kMono)
{
    for (const float sample : samples16kMono) {
        m_frameSquares += double(sample) * sample;
        if (++m_frameFill == frameLength) {
            measureFrame(std::sqrt(m_frameSquares / frameLength));
            m_frameSquares = 0;
            m_frameFill = 0;
        }
    }
    m_samples += std::int64_t(samples16kMono.size());
    if (m_samples >= samplesOf(m_limits.longest)) {
        return Verdict::longestReached;
    }
    if (m_heardSpeech && m_silentSamples >= samplesOf(m_limits.silence)) {
        return Verdict::silenceAfterSpeech;
    }
    return Verdict::listening;
}

void SpeechEndpointer::measureFrame(double rms)
{
    m_loudest = std::max(m_loudest, rms);
    if (m_frames++ < calibrationFrames) {
        m_floor = m_frames == 1 ? rms : std::min(m_floor, rms);
        return;
    }
    const bool speech = rms > std::max(m_floor * speechOverFloor, quietestSpeech);
    // From digital silence too the floor can rise, to -100 dBFS in the first frame.
    m_floor = std::min(rms, std::max(m_floor, 1e-5) * floorRisePerFrame);
    m_speechRun = speech ? m_speechRun + 1 : 0;
    if (m_speechRun >= speechFramesToOpen) {
        m_heardSpeech = true;
    }
    m_silentSamples = speech ? 0 : m_silentSamples + frameLength;
}

float SpeechEndpointer::takeLoudness()
{
    const double loudest = std::exchange(m_loudest, 0.0);
    if (loudest <= 0) {
        return 0;
    }
    return float(std::clamp((20 * std::log10(loudest) + 60) / 60, 0.0, 1.0));
}
