#pragma once

#include "speechrecognizer.h"

#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <chrono>
#include <memory>

// SpeechRecognizer on whisper.cpp, on the CPU.
//
// The model file is read at the first transcribe(), checked before whisper sees it (a missing,
// truncated or foreign file is refused with SpeechRecognitionError, never handed over), and
// released again once no request has come for `idleRelease`. Recognition runs on one worker
// thread of its own; requests that overlap wait their turn in order, so the caller's thread
// never blocks and no recording is dropped. whisper's and ggml's log lines go to the logging
// category "quenzal.whisper", off unless QT_LOGGING_RULES turns it on.
class WhisperRecognizer final : public QObject, public SpeechRecognizer
{
    Q_OBJECT

public:
    explicit WhisperRecognizer(QString modelPath,
                               std::chrono::milliseconds idleRelease = std::chrono::minutes(1),
                               QObject *parent = nullptr);
    // Stops a recognition under way at its next step and waits for the worker to finish it.
    ~WhisperRecognizer() override;

    QCoro::Task<QString> transcribe(std::vector<float> samples16kMono, QString language) override;

    bool isModelLoaded() const { return m_loaded; }

    // $XDG_DATA_HOME/Quenzal/models/ggml-base.bin
    static QString defaultModelPath();
    // whisper's code for a catalogue id ("zh-Hant" -> "zh", "fil" -> "tl"), or "auto" for a
    // language whisper does not know.
    static QString whisperLanguage(const QString &catalogueId);

signals:
    void modelLoadedChanged(bool loaded);

private:
    struct Model;

    void releaseIdleModel();
    void setLoaded(bool loaded);

    std::shared_ptr<Model> m_model; // touched by one job at a time, or here when none is queued
    QThreadPool m_worker;
    QTimer m_idle;
    int m_queued = 0;
    bool m_loaded = false;
};
