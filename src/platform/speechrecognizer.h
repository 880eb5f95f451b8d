#pragma once

#include <QCoro/QCoroTask>
#include <QString>

#include <vector>

// Turns recorded speech into text, on the device.
//
// transcribe() takes 16 kHz mono samples in [-1, 1] and `language`, a catalogue id ("en",
// "zh-Hans", "fil") or "auto" to let the recogniser tell; a language it does not know is
// treated as "auto". It returns the recognised text, empty when nothing was recognised, or
// throws a QuenzalError (SpeechRecognitionError) whose description() is for the user. Requests
// overlapping in time are served one after another, in the order they were made: none is lost.
class SpeechRecognizer
{
public:
    virtual ~SpeechRecognizer() = default;

    virtual QCoro::Task<QString> transcribe(std::vector<float> samples16kMono,
                                            QString language) = 0;
};
