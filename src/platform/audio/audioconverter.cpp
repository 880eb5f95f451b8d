#include "audioconverter.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

namespace {

// 16 zero crossings of the sinc each side: over 60 dB of stop band with the Blackman window,
// which is plenty for speech, at about 100 multiplications per output sample from 48 kHz.
constexpr double zeroCrossings = 16;
// The pass band ends a little below 8 kHz so that the transition band is below it too.
constexpr double passBand = 0.92;
// Past this many floats the kernels are computed per sample rather than kept: only odd rates
// such as 44101 Hz get there.
constexpr std::size_t largestTable = 1 << 18;

double sinc(double x)
{
    return x == 0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
}

double blackman(double u) // u in [-1, 1]
{
    return 0.42 + 0.5 * std::cos(std::numbers::pi * u) + 0.08 * std::cos(2 * std::numbers::pi * u);
}

} // namespace

AudioConverter::AudioConverter(const QAudioFormat &input)
    : m_format(input)
    , m_bytesPerFrame(input.bytesPerFrame())
    , m_inputRate(input.sampleRate())
{
    const std::int64_t common = std::gcd(m_inputRate, std::int64_t{outputRate});
    m_phases = outputRate / common;
    const double scale = std::min(1.0, double(outputRate) / double(m_inputRate)) * passBand;
    m_cutoff = scale / 2;
    m_halfWidth = m_inputRate == outputRate ? 0 : int(std::ceil(zeroCrossings / scale));
    m_scratch.resize(2 * std::size_t(m_halfWidth));
    if (m_halfWidth > 0 && std::size_t(m_phases) * m_scratch.size() <= largestTable) {
        // Filled while m_kernels is still empty, so kernelFor() computes each phase once.
        std::vector<float> table;
        table.reserve(std::size_t(m_phases) * m_scratch.size());
        for (std::int64_t phase = 0; phase < m_phases; ++phase) {
            const float *kernel = kernelFor(phase);
            table.insert(table.end(), kernel, kernel + m_scratch.size());
        }
        m_kernels = std::move(table);
    }
}

const float *AudioConverter::kernelFor(std::int64_t phase)
{
    const std::size_t taps = 2 * std::size_t(m_halfWidth);
    if (!m_kernels.empty()) {
        return m_kernels.data() + phase * taps;
    }
    // Tap k reads input sample whole - halfWidth + 1 + k for an output at whole + fraction.
    const double fraction = double(phase) / double(m_phases);
    double sum = 0;
    for (std::size_t k = 0; k < taps; ++k) {
        const double x = double(k) - m_halfWidth + 1 - fraction;
        const double u = x / m_halfWidth;
        const double tap = std::abs(u) >= 1 ? 0.0 : sinc(2 * m_cutoff * x) * blackman(u);
        m_scratch[k] = float(tap);
        sum += tap;
    }
    // Unity gain at 0 Hz in every phase; otherwise the phases differ slightly and add a tone.
    for (auto &tap : m_scratch) {
        tap = float(tap / sum);
    }
    return m_scratch.data();
}

float AudioConverter::monoSample(const char *frame) const
{
    const int channels = m_format.channelCount();
    const int bytesPerSample = m_format.bytesPerSample();
    float sum = 0;
    for (int channel = 0; channel < channels; ++channel) {
        sum += m_format.normalizedSampleValue(frame + channel * bytesPerSample);
    }
    return sum / float(channels);
}

void AudioConverter::convert(QByteArrayView bytes, std::vector<float> &out)
{
    if (m_bytesPerFrame <= 0 || m_inputRate <= 0) { // not a format a device reports
        return;
    }
    // A frame split between two buffers is completed first, so channels never shift.
    if (!m_partialFrame.isEmpty()) {
        const qsizetype missing = m_bytesPerFrame - m_partialFrame.size();
        m_partialFrame.append(bytes.first(std::min(missing, bytes.size())));
        bytes = bytes.sliced(std::min(missing, bytes.size()));
        if (m_partialFrame.size() < m_bytesPerFrame) {
            return;
        }
        m_input.push_back(monoSample(m_partialFrame.constData()));
        m_partialFrame.clear();
    }
    const qsizetype frames = bytes.size() / m_bytesPerFrame;
    m_input.reserve(m_input.size() + std::size_t(frames));
    for (qsizetype frame = 0; frame < frames; ++frame) {
        m_input.push_back(monoSample(bytes.data() + frame * m_bytesPerFrame));
    }
    m_partialFrame = bytes.sliced(frames * m_bytesPerFrame).toByteArray();
    resample(out, false);
}

void AudioConverter::flush(std::vector<float> &out)
{
    resample(out, true);
    m_partialFrame.clear();
    m_input.clear();
    m_inputBase = 0;
    m_produced = 0;
}

void AudioConverter::resample(std::vector<float> &out, bool toTheEnd)
{
    const auto clamp = [](double value) { return float(std::clamp(value, -1.0, 1.0)); };
    if (m_halfWidth == 0) {
        std::transform(m_input.begin(), m_input.end(), std::back_inserter(out), clamp);
        m_inputBase += std::int64_t(m_input.size());
        m_input.clear();
        return;
    }
    const std::int64_t received = m_inputBase + std::int64_t(m_input.size());
    const auto whole = [this](std::int64_t output) { return output * m_inputRate / outputRate; };
    while (true) {
        const std::int64_t numerator = m_produced * m_inputRate;
        const std::int64_t at = numerator / outputRate;
        if (toTheEnd ? numerator >= received * outputRate : at + m_halfWidth >= received) {
            break;
        }
        const float *kernel = kernelFor(numerator % outputRate / (outputRate / m_phases));
        const std::int64_t first = at - m_halfWidth + 1;
        double sum = 0;
        for (int k = 0; k < 2 * m_halfWidth; ++k) {
            const std::int64_t index = first + k;
            // Before the start and after the end the signal is silence.
            if (index >= m_inputBase && index < received) {
                sum += double(kernel[k]) * m_input[std::size_t(index - m_inputBase)];
            }
        }
        out.push_back(clamp(sum));
        ++m_produced;
    }
    const std::int64_t keepFrom = whole(m_produced) - m_halfWidth + 1;
    if (keepFrom > m_inputBase) {
        const auto drop =
            std::min<std::int64_t>(keepFrom - m_inputBase, std::int64_t(m_input.size()));
        m_input.erase(m_input.begin(), m_input.begin() + drop);
        m_inputBase += drop;
    }
}
