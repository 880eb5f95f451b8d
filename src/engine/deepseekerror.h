#pragma once

#include "quenzalerror.h"

// A failure of a DeepSeek chat-completions exchange that was not a transport failure.
class DeepSeekError : public QuenzalError
{
public:
    enum Code {
        networkError,    // not an HTTP reply, or a status outside 200-299
        invalidResponse, // the body is not JSON of the expected shape (or is absurdly large)
        emptyResult,     // the answer is empty after trimming
        invalidApiKey,   // the stored key cannot be put into a header line; nothing was sent
        missingApiKey,   // refused (401) while there was no key at all to send
    };

    explicit DeepSeekError(Code code)
        : m_code(code)
    {}

    Code code() const { return m_code; }
    QString description() const override;

    bool operator==(const DeepSeekError &other) const { return m_code == other.m_code; }

private:
    Code m_code;
};
