#pragma once

#include "audiorecorder.h"

#include <QCoro/QCoroTask>

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class DictationBackend;
class ModelStore;
class Preferences;
class SpeechRecognizer;
class TranslatorViewModel;

// Speech typed into the source text, on the device: the microphone records one utterance, the
// recogniser turns it into text in the source pill's language (its own detection on "Auto"),
// and recognized() hands the text over to go in at the caret. Nothing recorded is kept or sent.
//
// toggle() is the microphone button. Without the chosen speech model on disk it offers the
// download instead (offeringModel); downloadModel() fetches it (downloading, with
// downloadProgress()), and once it is there the next press records. While recording, a press
// stops and the words are recognised; the recorder also stops by itself after the speech ends.
// cancel() (Escape, the popover closing) ends a recording or a recognition and drops its text.
//
// message() is the one line the popover shows about dictation: the offer, a download's or a
// recording's failure, "Nothing was heard"; empty when there is nothing to say. dismiss() clears
// it and withdraws an offer.
//
// The microphone and the recogniser come from `backend` at the first recording, and the
// recogniser is made anew when the chosen model changes. Everything passed in must outlive
// this.
class Dictation : public QObject
{
    Q_OBJECT

public:
    enum class State {
        idle,          // ready for a press (or needing a model, which a press offers)
        offeringModel, // the popover offers the chosen model's download
        downloading,   // the chosen model is on its way
        starting,      // the microphone is being opened
        recording,
        recognizing,
    };
    Q_ENUM(State)

    static inline const QString nothingHeardMessage = QStringLiteral("Nothing was heard");

    Dictation(DictationBackend &backend, ModelStore &models, Preferences &preferences,
              TranslatorViewModel &viewModel, QObject *parent = nullptr);
    ~Dictation() override;

    State state() const { return m_state; }
    QString message() const { return m_message; }
    // The loudness while recording, 0 quiet .. 1 loud.
    float level() const { return m_level; }

    ModelStore &models() const { return m_models; }
    // The speech model dictation uses, kept in the preferences.
    QString modelName() const;
    void setModelName(const QString &name);
    // Why the last download of that model failed; empty when it did not or one runs.
    QString downloadError(const QString &name) const { return m_downloadErrors.value(name); }

    void toggle();
    void cancel();
    void dismiss();
    // Downloads the chosen model, or `name`. A failure shows in message() when the popover
    // asked for it, and in downloadError() always.
    void downloadModel(const QString &name = {});
    void cancelDownload(const QString &name = {});
    // Deletes the model (and any download of it) from the disk.
    void removeModel(const QString &name);

signals:
    void stateChanged(Dictation::State state);
    void messageChanged(const QString &message);
    void levelChanged(float level);
    void modelNameChanged(const QString &name);
    void downloadProgress(const QString &name, qint64 received, qint64 total);
    // A download of any model ended, well or not: its status and downloadError() are current.
    void downloadEnded(const QString &name);
    // Recognised words, to go in at the caret of the source text.
    void recognized(const QString &text);

private:
    QCoro::Task<> runDownload(QString name, bool fromPopover);
    QCoro::Task<> recognize(std::vector<float> samples);
    void startRecording();
    void onRecorderFailed(const QString &reason, AudioRecorder::Failure kind);
    SpeechRecognizer *recognizer(QString *error);
    void setState(State state);
    void setMessage(const QString &message);
    void setLevel(float level);

    DictationBackend &m_backend;
    ModelStore &m_models;
    Preferences &m_preferences;
    TranslatorViewModel &m_viewModel;
    std::unique_ptr<AudioRecorder> m_recorder;
    std::unique_ptr<SpeechRecognizer> m_recognizer;
    QString m_recognizerModel; // the path m_recognizer reads
    State m_state = State::idle;
    QString m_message;
    float m_level = 0;
    quint64 m_recognition = 0; // counts recognitions; a cancelled one's text is dropped
    QHash<QString, QString> m_downloadErrors;
};
