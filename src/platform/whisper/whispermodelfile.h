#pragma once

#include <QFile>

#include <optional>

struct whisper_context;
struct whisper_context_params;

// A whisper model file (ggml's legacy format), checked before whisper reads it.
//
// whisper trusts the file: a short read leaves its buffers as they were, and sizes and type
// numbers from the file index its tables and size its allocations unchecked, so a truncated
// download or any other file may crash the program. open() walks the whole file (header, mel
// filters, vocabulary, every tensor's header and the extent of its data) and accepts only a
// file that ends exactly after its last tensor. load() then hands whisper the same open file,
// so what was checked is what it reads.
class WhisperModelFile
{
public:
    enum Verdict { ok, missing, damaged };

    explicit WhisperModelFile(const QString &path);

    Verdict open();
    // After open() returned ok: the model, or nullptr when whisper refuses it.
    whisper_context *load(const whisper_context_params &params);

private:
    // Reads `size` bytes at the current position; false when the file ends first.
    bool read(void *to, qint64 size);
    template <typename T> std::optional<T> next();
    bool skip(qint64 size);
    bool walk();

    QFile m_file;
    bool m_shortRead = false;
};
