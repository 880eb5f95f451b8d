#pragma once

#include "audiorecorder.h"
#include "dictation.h"
#include "dictationbackend.h"
#include "modelcatalogue.h"
#include "modelstore.h"
#include "quenzalerror.h"
#include "speechrecognizer.h"

#include <QCoro/QCoroTimer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <chrono>

// A microphone the test speaks into: start() opens it at once (or fails with `failure`),
// stop() delivers `samples`.
class FakeAudioRecorder : public AudioRecorder
{
    Q_OBJECT

public:
    bool isRecording() const override { return recording; }
    void start() override
    {
        if (recording) {
            return;
        }
        if (failure) {
            emit failed(QStringLiteral("The sound system refused"), *failure);
            return;
        }
        recording = true;
        emit started();
    }
    void stop() override
    {
        if (recording) {
            recording = false;
            emit finished(samples);
        }
    }
    void cancel() override { recording = false; }

    bool recording = false;
    std::optional<Failure> failure;
    std::vector<float> samples = std::vector<float>(16000, 0.25f);
};

// Answers every recording with `text` (or throws `error`) a moment later, as a recogniser on
// another thread would; notes the languages it was asked for.
class FakeSpeechRecognizer : public SpeechRecognizer
{
public:
    QCoro::Task<QString> transcribe(std::vector<float> samples, QString language) override
    {
        languages.append(language);
        sampleCounts.append(samples.size());
        const QString answer = text;
        const std::optional<QString> failure = error;
        QTimer delay;
        delay.start(std::chrono::milliseconds(10));
        co_await delay;
        if (failure) {
            struct Failure : QuenzalError
            {
                QString why;
                QString description() const override { return why; }
            };
            Failure e;
            e.why = *failure;
            throw e;
        }
        co_return answer;
    }

    QString text = QStringLiteral("dictated words");
    std::optional<QString> error;
    QStringList languages;
    QList<size_t> sampleCounts;
};

// Makes one fake recorder and one fake recogniser per model path, kept for the test to steer.
class FakeDictationBackend : public DictationBackend
{
public:
    std::unique_ptr<AudioRecorder> makeRecorder(QString *error) override
    {
        if (unavailable) {
            *error = QStringLiteral("Dictation is not part of this installation.");
            return nullptr;
        }
        auto made = std::make_unique<FakeAudioRecorder>();
        made->failure = recorderFailure;
        recorder = made.get();
        return made;
    }
    std::unique_ptr<SpeechRecognizer> makeRecognizer(const QString &path, QString *) override
    {
        recognizerPaths.append(path);
        auto made = std::make_unique<FakeSpeechRecognizer>();
        made->text = text;
        made->error = error;
        recognizer = made.get();
        return made;
    }

    bool unavailable = false;
    std::optional<AudioRecorder::Failure> recorderFailure;
    QString text = QStringLiteral("dictated words");
    std::optional<QString> error;
    FakeAudioRecorder *recorder = nullptr;
    FakeSpeechRecognizer *recognizer = nullptr;
    QStringList recognizerPaths;
};

// Dictation over the fakes, with two small models ("tiny", "base") under `directory`, served
// from `baseUrl`; `installed` names the models already on disk.
class TestDictation
{
public:
    static ModelCatalogue catalogue()
    {
        return ModelCatalogue({{QStringLiteral("tiny"), 5, sha1("tiny!")},
                               {QStringLiteral("base"), 5, sha1("base!")}},
                              QStringLiteral("base"));
    }
    static QByteArray sha1(const QByteArray &data)
    {
        return QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex();
    }

    TestDictation(Preferences &preferences, TranslatorViewModel &viewModel, QString directory,
                  QUrl baseUrl = QUrl(QStringLiteral("http://127.0.0.1:9")),
                  const QStringList &installed = {})
        : models(catalogue(), std::move(baseUrl), directory)
        , dictation(backend, models, preferences, viewModel)
    {
        QDir().mkpath(directory);
        for (const QString &name : installed) {
            QFile file(models.path(name));
            if (!file.open(QIODevice::WriteOnly) || file.write(name.toUtf8() + '!') < 0) {
                qFatal("TestDictation: cannot write %s", qPrintable(file.fileName()));
            }
        }
    }

    FakeDictationBackend backend;
    ModelStore models;
    Dictation dictation;
};
