#pragma once

#include "dictationbackend.h"

// Dictation on this machine: the default microphone through Qt Multimedia and whisper.cpp on
// the CPU. It lives in a module of its own that the tray program loads at the first dictation
// (see ModuleDictationBackend), reached through quenzalDictationBackend().
class NativeDictationBackend final : public DictationBackend
{
public:
    std::unique_ptr<AudioRecorder> makeRecorder(QString *error) override;
    std::unique_ptr<SpeechRecognizer> makeRecognizer(const QString &modelPath,
                                                     QString *error) override;
};

// The module's one entry point; the backend lives as long as the module.
extern "C" Q_DECL_EXPORT DictationBackend *quenzalDictationBackend();
