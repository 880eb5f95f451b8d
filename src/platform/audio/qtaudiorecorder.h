#pragma once

#include "audiorecorder.h"
#include "speechendpointer.h"

#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>

class AudioConverter;
class QAudioSource;
class QIODevice;

// Records from the default input device of Qt Multimedia (PulseAudio, or PipeWire through its
// PulseAudio server). It asks for 16 kHz mono samples and converts whatever the device gives
// instead. The buffers are handled on the GUI thread as they arrive; each costs well under a
// millisecond (the longest is logged under quenzal.audio at debug level).
class QtAudioRecorder : public AudioRecorder
{
    Q_OBJECT

public:
    explicit QtAudioRecorder(RecordingLimits limits = {}, QObject *parent = nullptr);
    ~QtAudioRecorder() override;

    bool isRecording() const override;
    void start() override;
    void stop() override;
    void cancel() override;

private:
    void readAvailable();
    void closeSource();
    void fail(Failure kind);

    RecordingLimits m_limits;
    QAudioSource *m_source = nullptr; // deleted later: it may be in one of its signals
    QIODevice *m_input = nullptr;
    std::unique_ptr<AudioConverter> m_converter;
    std::optional<SpeechEndpointer> m_endpointer;
    std::vector<float> m_samples;
    std::size_t m_samplesAtLastLevel = 0;
    // Ends the recording should the device stop delivering: the limit counts the sound it gave.
    QTimer m_overtime;
    std::chrono::nanoseconds m_longestBuffer{};
    int m_buffers = 0;
};
