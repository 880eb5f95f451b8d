#pragma once

#include "quenzalerror.h"

// Why speech could not be turned into text. The model problems ask the user to download the
// model again; the others cannot be helped by the user.
class SpeechRecognitionError : public QuenzalError
{
public:
    enum Code {
        modelMissing,  // no model file where it is expected
        modelDamaged,  // a file that is not a complete speech model
        modelUnusable, // a sound file the recogniser still could not load (memory, version)
        failed,        // the recogniser gave up on the audio
    };

    explicit SpeechRecognitionError(Code code)
        : m_code(code)
    {}

    Code code() const { return m_code; }
    QString description() const override;

private:
    Code m_code;
};
