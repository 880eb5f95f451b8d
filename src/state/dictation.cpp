#include "dictation.h"

#include "dictationbackend.h"
#include "modeldownloaderror.h"
#include "modelstore.h"
#include "preferences.h"
#include "quenzalerror.h"
#include "speechrecognizer.h"
#include "translatorviewmodel.h"

#include <QLocale>

Dictation::Dictation(DictationBackend &backend, ModelStore &models, Preferences &preferences,
                     TranslatorViewModel &viewModel, QObject *parent)
    : QObject(parent)
    , m_backend(backend)
    , m_models(models)
    , m_preferences(preferences)
    , m_viewModel(viewModel)
{
    connect(&m_models, &ModelStore::progress, this, &Dictation::downloadProgress);
    connect(&m_models, &ModelStore::statusChanged, this, [this](const QString &name) {
        if (name != modelName()) {
            return;
        }
        const bool downloading = m_models.status(name).state == ModelStore::State::downloading;
        if (downloading && (m_state == State::idle || m_state == State::offeringModel)) {
            setMessage(QString());
            setState(State::downloading);
        } else if (!downloading && m_state == State::downloading) {
            setState(State::idle);
        }
    });
}

Dictation::~Dictation() = default;

QString Dictation::modelName() const
{
    return m_preferences.dictationModel();
}

void Dictation::setModelName(const QString &name)
{
    if (name == modelName() || !m_models.catalogue().find(name)) {
        return;
    }
    m_preferences.setDictationModel(name);
    emit modelNameChanged(name);
    if (m_state == State::idle || m_state == State::offeringModel ||
        m_state == State::downloading) {
        const bool downloading = m_models.status(name).state == ModelStore::State::downloading;
        setMessage(QString());
        setState(downloading ? State::downloading : State::idle);
    }
}

void Dictation::toggle()
{
    switch (m_state) {
    case State::idle:
    case State::offeringModel:
        if (m_models.status(modelName()).state != ModelStore::State::ready) {
            const ModelCatalogue::Model *model = m_models.catalogue().find(modelName());
            setMessage(tr("Dictation needs the speech model \u201c%1\u201d (%2), downloaded "
                          "once.")
                           .arg(model->name, QLocale().formattedDataSize(model->size, 0)));
            setState(State::offeringModel);
            return;
        }
        startRecording();
        return;
    case State::starting:
    case State::recording:
        m_recorder->stop();
        return;
    case State::downloading:
    case State::recognizing:
        return;
    }
}

void Dictation::startRecording()
{
    if (!m_recorder) {
        QString error;
        m_recorder = m_backend.makeRecorder(&error);
        if (!m_recorder) {
            setMessage(error);
            setState(State::idle);
            return;
        }
        connect(m_recorder.get(), &AudioRecorder::started, this, [this] {
            if (m_state == State::starting) {
                setState(State::recording);
            }
        });
        connect(m_recorder.get(), &AudioRecorder::level, this, &Dictation::setLevel);
        connect(m_recorder.get(), &AudioRecorder::finished, this,
                [this](const std::vector<float> &samples) { recognize(samples); });
        connect(m_recorder.get(), &AudioRecorder::failed, this, &Dictation::onRecorderFailed);
    }
    setMessage(QString());
    setLevel(0);
    setState(State::starting);
    m_recorder->start();
}

void Dictation::onRecorderFailed(const QString &reason, AudioRecorder::Failure kind)
{
    setLevel(0);
    setState(State::idle);
    switch (kind) {
    case AudioRecorder::Failure::noDevice:
        setMessage(tr("No microphone found"));
        break;
    case AudioRecorder::Failure::busyOrRefused:
        setMessage(tr("The microphone is in use by another program, or access to it was "
                      "refused."));
        break;
    case AudioRecorder::Failure::other:
        setMessage(reason);
        break;
    }
}

QCoro::Task<> Dictation::recognize(std::vector<float> samples)
{
    setLevel(0);
    QString error;
    SpeechRecognizer *recognizer = this->recognizer(&error);
    if (!recognizer) {
        setState(State::idle);
        setMessage(error);
        co_return;
    }
    setState(State::recognizing);
    const quint64 recognition = ++m_recognition;
    const Language language = m_viewModel.sourceLanguage();
    const QPointer<Dictation> self(this);
    QString text;
    QString failure;
    try {
        text = co_await recognizer->transcribe(std::move(samples), language.id);
    } catch (const QuenzalError &e) {
        failure = e.description();
    }
    if (!self || recognition != m_recognition) {
        co_return; // cancelled, or gone
    }
    setState(State::idle);
    text = text.trimmed();
    if (!failure.isEmpty()) {
        setMessage(failure);
    } else if (text.isEmpty()) {
        setMessage(nothingHeardMessage);
    } else {
        emit recognized(text);
    }
}

SpeechRecognizer *Dictation::recognizer(QString *error)
{
    const QString path = m_models.path(modelName());
    if (!m_recognizer || m_recognizerModel != path) {
        m_recognizer.reset();
        m_recognizer = m_backend.makeRecognizer(path, error);
        m_recognizerModel = path;
    }
    return m_recognizer.get();
}

void Dictation::cancel()
{
    switch (m_state) {
    case State::starting:
    case State::recording:
        m_recorder->cancel();
        setLevel(0);
        setState(State::idle);
        break;
    case State::recognizing:
        ++m_recognition;
        setState(State::idle);
        break;
    case State::offeringModel:
        dismiss();
        break;
    case State::idle:
    case State::downloading:
        break;
    }
}

void Dictation::dismiss()
{
    setMessage(QString());
    if (m_state == State::offeringModel) {
        setState(State::idle);
    }
}

void Dictation::downloadModel(const QString &name)
{
    runDownload(name.isEmpty() ? modelName() : name, name.isEmpty());
}

QCoro::Task<> Dictation::runDownload(QString name, bool fromPopover)
{
    m_downloadErrors.remove(name);
    const QPointer<Dictation> self(this);
    QString failure;
    bool canceled = false;
    try {
        co_await m_models.download(name);
    } catch (const ModelDownloadError &e) {
        failure = e.description();
        canceled = e.code() == ModelDownloadError::canceled;
    }
    if (!self) {
        co_return;
    }
    if (!failure.isEmpty() && !canceled) {
        m_downloadErrors.insert(name, failure);
    }
    if (name == modelName()) {
        if (failure.isEmpty()) {
            if (fromPopover || m_state == State::idle) {
                setMessage(tr("The speech model is ready. Press the microphone and speak."));
            }
        } else if (!canceled && fromPopover) {
            setMessage(failure);
            setState(State::offeringModel);
        }
    }
    emit downloadEnded(name);
}

void Dictation::cancelDownload(const QString &name)
{
    m_models.cancel(name.isEmpty() ? modelName() : name);
}

void Dictation::removeModel(const QString &name)
{
    m_downloadErrors.remove(name);
    if (m_models.path(name) == m_recognizerModel && m_state != State::recognizing) {
        m_recognizer.reset(); // lets go of the model's memory too
        m_recognizerModel.clear();
    }
    m_models.remove(name);
    emit downloadEnded(name);
}

void Dictation::setState(State state)
{
    if (state != m_state) {
        m_state = state;
        emit stateChanged(state);
    }
}

void Dictation::setMessage(const QString &message)
{
    if (message != m_message) {
        m_message = message;
        emit messageChanged(message);
    }
}

void Dictation::setLevel(float level)
{
    if (level != m_level) {
        m_level = level;
        emit levelChanged(level);
    }
}
