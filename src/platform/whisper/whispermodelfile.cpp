#include "whispermodelfile.h"

#include <ggml.h>
#include <whisper.h>

#include <QList>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr quint32 ggmlMagic = 0x67676d6c; // "ggml", as whisper checks it

// Bounds well above every released model (large-v3: 51866 tokens, 1280 wide, 32 layers) that
// keep a made-up header from sizing allocations of many gigabytes.
constexpr qint32 maxVocabulary = 1 << 17;
constexpr qint32 maxContext = 1 << 13;
constexpr qint32 maxWidth = 1 << 13;
constexpr qint32 maxHeadsOrLayers = 256;
constexpr qint32 maxMelBins = 512;
constexpr quint32 maxTokenBytes = 1 << 10;
constexpr qint32 maxTensorName = 1 << 10;

bool within(qint32 value, qint32 low, qint32 high)
{
    return value >= low && value <= high;
}

} // namespace

WhisperModelFile::WhisperModelFile(const QString &path)
    : m_file(path)
{}

WhisperModelFile::Verdict WhisperModelFile::open()
{
    if (!m_file.exists()) {
        return missing;
    }
    if (!m_file.open(QIODevice::ReadOnly) || !walk()) {
        return damaged;
    }
    return ok;
}

bool WhisperModelFile::read(void *to, qint64 size)
{
    return m_file.read(static_cast<char *>(to), size) == size;
}

template <typename T> std::optional<T> WhisperModelFile::next()
{
    T value;
    return read(&value, sizeof value) ? std::optional<T>(value) : std::nullopt;
}

bool WhisperModelFile::skip(qint64 size)
{
    return size >= 0 && size <= m_file.size() - m_file.pos() && m_file.seek(m_file.pos() + size);
}

bool WhisperModelFile::walk()
{
    if (next<quint32>() != ggmlMagic) {
        return false;
    }
    // n_vocab, n_audio_ctx, n_audio_state, n_audio_head, n_audio_layer, n_text_ctx,
    // n_text_state, n_text_head, n_text_layer, n_mels, ftype
    qint32 header[11];
    if (!read(header, sizeof header)) {
        return false;
    }
    const qint32 highs[10] = {maxVocabulary,    maxContext, maxWidth, maxHeadsOrLayers,
                              maxHeadsOrLayers, maxContext, maxWidth, maxHeadsOrLayers,
                              maxHeadsOrLayers, maxMelBins};
    for (int i = 0; i < 10; ++i) {
        if (!within(header[i], 1, highs[i])) {
            return false;
        }
    }
    // whisper looks the model's size up by its layer count, and asserts equal widths.
    if (header[4] != 4 && header[4] != 6 && header[4] != 12 && header[4] != 24 && header[4] != 32) {
        return false;
    }
    if (header[2] != header[6]) {
        return false;
    }
    // ggml aborts the process on a weight type it cannot map; these are the ones whisper's
    // models come in.
    const qint32 weights = header[10] % GGML_QNT_VERSION_FACTOR;
    if (header[10] < 0 ||
        !QList<qint32>{GGML_FTYPE_ALL_F32, GGML_FTYPE_MOSTLY_F16, GGML_FTYPE_MOSTLY_Q4_0,
                       GGML_FTYPE_MOSTLY_Q4_1, GGML_FTYPE_MOSTLY_Q5_0, GGML_FTYPE_MOSTLY_Q5_1,
                       GGML_FTYPE_MOSTLY_Q8_0}
             .contains(weights)) {
        return false;
    }

    // The spectrogram indexes the filters as n_mels rows of one bin per frequency up to Nyquist.
    const std::optional<qint32> melBins = next<qint32>();
    const std::optional<qint32> fftBins = next<qint32>();
    if (melBins != header[9] || fftBins != 1 + WHISPER_N_FFT / 2 ||
        !skip(qint64(*melBins) * *fftBins * qint64(sizeof(float)))) {
        return false;
    }

    const std::optional<qint32> tokens = next<qint32>();
    if (!tokens || !within(*tokens, 0, maxVocabulary)) {
        return false;
    }
    for (qint32 i = 0; i < *tokens; ++i) {
        const std::optional<quint32> length = next<quint32>();
        if (!length || *length > maxTokenBytes || !skip(*length)) {
            return false;
        }
    }

    // No tensor at all is whisper's weightless test model, which it loads as such.
    while (!m_file.atEnd()) {
        const std::optional<qint32> dimensions = next<qint32>();
        const std::optional<qint32> nameLength = next<qint32>();
        const std::optional<qint32> type = next<qint32>();
        if (!dimensions || !nameLength || !type || !within(*dimensions, 0, 4) ||
            !within(*nameLength, 1, maxTensorName) || !within(*type, 0, GGML_TYPE_COUNT - 1)) {
            return false;
        }
        const auto ggmlType = ggml_type(*type);
        const qint64 blockSize = ggml_blck_size(ggmlType);
        const qint64 blockBytes = qint64(ggml_type_size(ggmlType));
        if (blockSize <= 0 || blockBytes <= 0) {
            return false; // a type number ggml has retired
        }
        // whisper multiplies the extents in 32 bits.
        qint64 elements = 1;
        for (qint32 i = 0; i < *dimensions; ++i) {
            const std::optional<qint32> extent = next<qint32>();
            if (!extent || *extent < 1) {
                return false;
            }
            elements *= *extent;
            if (elements > std::numeric_limits<qint32>::max()) {
                return false;
            }
        }
        if (elements % blockSize != 0 || !skip(*nameLength) ||
            !skip(elements / blockSize * blockBytes)) {
            return false;
        }
    }
    return true;
}

whisper_context *WhisperModelFile::load(const whisper_context_params &params)
{
    if (!m_file.seek(0)) {
        return nullptr;
    }
    m_shortRead = false;
    whisper_model_loader loader{};
    loader.context = this;
    // A short read fills with zeros and ends the file, so whisper stops at it rather than
    // reading stale memory; the file was checked, so this is only a file changed since.
    loader.read = [](void *context, void *output, size_t size) -> size_t {
        auto *self = static_cast<WhisperModelFile *>(context);
        const qint64 got = self->m_file.read(static_cast<char *>(output), qint64(size));
        if (got != qint64(size)) {
            std::memset(static_cast<char *>(output) + std::max<qint64>(got, 0), 0,
                        size - size_t(std::max<qint64>(got, 0)));
            self->m_shortRead = true;
        }
        return size;
    };
    loader.eof = [](void *context) {
        return static_cast<WhisperModelFile *>(context)->m_shortRead;
    };
    loader.close = [](void *) {};
    whisper_context *context = whisper_init_with_params(&loader, params);
    // A normal end is the short read of the next tensor header, after every tensor is in.
    return context;
}
