#pragma once

#include "quenzalerror.h"

// A request the translation service refuses, or an answer it cannot use.
class TranslationError : public QuenzalError
{
public:
    enum Code {
        apiError, // carries a message
        invalidLanguage,
        invalidURL,
        networkError,
        emptyResult,
    };

    explicit TranslationError(Code code, QString message = {})
        : m_code(code)
        , m_message(std::move(message))
    {}

    Code code() const { return m_code; }
    QString message() const { return m_message; }
    QString description() const override;

    bool operator==(const TranslationError &other) const
    {
        return m_code == other.m_code && m_message == other.m_message;
    }

private:
    Code m_code;
    QString m_message;
};
