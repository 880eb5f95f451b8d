#pragma once

#include <QString>

#include <memory>

class AudioRecorder;
class SpeechRecognizer;

// The machine's side of dictation: the microphone and the on-device recogniser. Both are made
// only when the user first dictates, so that a program that never does loads neither the
// sound libraries nor the recogniser. Each returns null, with `error` set to a sentence for the
// user, when dictation cannot work on this installation.
class DictationBackend
{
public:
    virtual ~DictationBackend() = default;

    virtual std::unique_ptr<AudioRecorder> makeRecorder(QString *error) = 0;
    // A recogniser over the model file at `modelPath`; the file is read at its first use.
    virtual std::unique_ptr<SpeechRecognizer> makeRecognizer(const QString &modelPath,
                                                             QString *error) = 0;
};
