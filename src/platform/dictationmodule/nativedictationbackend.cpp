#include "nativedictationbackend.h"

#include "qtaudiorecorder.h"
#include "whisperrecognizer.h"

std::unique_ptr<AudioRecorder> NativeDictationBackend::makeRecorder(QString *)
{
    return std::make_unique<QtAudioRecorder>();
}

std::unique_ptr<SpeechRecognizer> NativeDictationBackend::makeRecognizer(const QString &modelPath,
                                                                         QString *)
{
    return std::make_unique<WhisperRecognizer>(modelPath);
}

DictationBackend *quenzalDictationBackend()
{
    static NativeDictationBackend backend;
    return &backend;
}
