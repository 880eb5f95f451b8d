#pragma once

#include <QAudioFormat>
#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <vector>

// Turns what an input device delivers, in its own format, into 16 kHz mono float samples in
// [-1, 1]: channels are averaged, then the signal is band-limited to 8 kHz and resampled with a
// windowed-sinc filter, so that a device at 44.1 or 48 kHz does not fold its high frequencies
// back into the speech band. Buffers may end anywhere, even inside a frame; together they give
// the same samples as one buffer would.
class AudioConverter
{
public:
    static constexpr int outputRate = 16'000;

    explicit AudioConverter(const QAudioFormat &input);

    // Appends to `out` every output sample that `bytes` completes.
    void convert(QByteArrayView bytes, std::vector<float> &out);
    // Appends the rest, as if silence followed; after it the converter starts afresh.
    void flush(std::vector<float> &out);

private:
    float monoSample(const char *frame) const;
    void resample(std::vector<float> &out, bool toTheEnd);
    const float *kernelFor(std::int64_t phase);

    QAudioFormat m_format;
    int m_bytesPerFrame;
    QByteArray m_partialFrame;

    // Positions count input samples since the start; output j lies at input time
    // j * inputRate / outputRate, exactly, as a whole sample and one of m_phases fractions.
    std::int64_t m_inputRate;
    std::int64_t m_phases;
    int m_halfWidth;              // input samples each side of an output that the filter reads
    double m_cutoff;              // in cycles per input sample
    std::vector<float> m_kernels; // per phase, 2 * m_halfWidth taps; empty = computed each time
    std::vector<float> m_scratch;
    std::vector<float> m_input; // m_input[0] is input sample m_inputBase
    std::int64_t m_inputBase = 0;
    std::int64_t m_produced = 0;
};
