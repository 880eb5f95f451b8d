#include "whisperrecognizer.h"

#include "speechrecognitionerror.h"
#include "whispermodelfile.h"

#include <QCoro/QCoroFuture>
#include <QHash>
#include <QLoggingCategory>
#include <QPointer>
#include <QPromise>
#include <QStandardPaths>
#include <QThread>

#include <whisper.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>

namespace {

Q_LOGGING_CATEGORY(whisperLog, "quenzal.whisper", QtWarningMsg)

// ggml writes to standard error unless told otherwise, from whichever thread it runs on.
void routeWhisperLog()
{
    static std::once_flag once;
    std::call_once(once, [] {
        whisper_log_set(
            [](ggml_log_level level, const char *text, void *) {
                const QString line = QString::fromUtf8(text).trimmed();
                if (line.isEmpty()) {
                    return;
                }
                if (level == GGML_LOG_LEVEL_ERROR || level == GGML_LOG_LEVEL_WARN) {
                    qCInfo(whisperLog).noquote() << line;
                } else {
                    qCDebug(whisperLog).noquote() << line;
                }
            },
            nullptr);
    });
}

} // namespace

struct WhisperRecognizer::Model
{
    explicit Model(QString path)
        : path(std::move(path))
    {}
    ~Model() { release(); }

    void release()
    {
        whisper_free(context);
        context = nullptr;
    }

    void load()
    {
        WhisperModelFile file(path);
        switch (file.open()) {
        case WhisperModelFile::missing:
            throw SpeechRecognitionError(SpeechRecognitionError::modelMissing);
        case WhisperModelFile::damaged:
            throw SpeechRecognitionError(SpeechRecognitionError::modelDamaged);
        case WhisperModelFile::ok:
            break;
        }
        whisper_context_params params = whisper_context_default_params();
        params.use_gpu = false;
        try {
            context = file.load(params);
        } catch (const std::bad_alloc &) {
            context = nullptr;
        }
        if (!context) {
            throw SpeechRecognitionError(SpeechRecognitionError::modelUnusable);
        }
    }

    // On the worker thread.
    QString transcribe(const std::vector<float> &samples, const QByteArray &language)
    {
        // Recognition yields to the GUI thread when the cores are busy: the worker runs at a
        // higher nice value, which the threads whisper starts from it inherit.
        static thread_local const bool yields = setpriority(PRIO_PROCESS, gettid(), 10) == 0;
        Q_UNUSED(yields);
        if (!context) {
            load();
        }
        if (samples.empty()) {
            return {};
        }
        whisper_full_params params = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
        params.n_threads = std::clamp(QThread::idealThreadCount(), 1, 4);
        params.language = language.constData();
        params.translate = false;
        params.no_context = true;
        params.print_progress = false;
        params.print_realtime = false;
        params.print_timestamps = false;
        params.print_special = false;
        params.abort_callback = [](void *stop) {
            return static_cast<std::atomic<bool> *>(stop)->load();
        };
        params.abort_callback_user_data = &stop;
        if (whisper_full(context, params, samples.data(), int(samples.size())) != 0) {
            if (stop) {
                return {};
            }
            throw SpeechRecognitionError(SpeechRecognitionError::failed);
        }
        // Segments are joined as bytes: a character may straddle two of them.
        QByteArray text;
        for (int i = 0, n = whisper_full_n_segments(context); i < n; ++i) {
            text += whisper_full_get_segment_text(context, i);
        }
        return QString::fromUtf8(text).trimmed();
    }

    const QString path;
    whisper_context *context = nullptr;
    std::atomic<bool> stop = false;
};

WhisperRecognizer::WhisperRecognizer(QString modelPath, std::chrono::milliseconds idleRelease,
                                     QObject *parent)
    : QObject(parent)
    , m_model(std::make_shared<Model>(std::move(modelPath)))
{
    routeWhisperLog();
    m_worker.setMaxThreadCount(1);
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleRelease);
    connect(&m_idle, &QTimer::timeout, this, &WhisperRecognizer::releaseIdleModel);
}

WhisperRecognizer::~WhisperRecognizer()
{
    m_model->stop = true;
    m_worker.waitForDone();
}

QString WhisperRecognizer::defaultModelPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Quenzal/models/ggml-base.bin");
}

QString WhisperRecognizer::whisperLanguage(const QString &catalogueId)
{
    routeWhisperLog(); // whisper logs the codes it does not know
    static const QHash<QString, QString> renamed = {
        {QStringLiteral("fil"), QStringLiteral("tl")}, {QStringLiteral("nb"), QStringLiteral("no")},
        {QStringLiteral("nn"), QStringLiteral("no")},  {QStringLiteral("iw"), QStringLiteral("he")},
        {QStringLiteral("jv"), QStringLiteral("jw")},
    };
    QString code = catalogueId.section(QLatin1Char('-'), 0, 0).toLower();
    code = renamed.value(code, code);
    // whisper also takes English names ("german"); a catalogue id is never one.
    const bool letters = std::all_of(code.cbegin(), code.cend(), [](QChar c) {
        return c >= QLatin1Char('a') && c <= QLatin1Char('z');
    });
    if (!letters || code.size() < 2 || code.size() > 3 ||
        whisper_lang_id(code.toLatin1().constData()) < 0) {
        return QStringLiteral("auto");
    }
    return code;
}

QCoro::Task<QString> WhisperRecognizer::transcribe(std::vector<float> samples16kMono,
                                                   QString language)
{
    ++m_queued;
    m_idle.stop();
    auto promise = std::make_shared<QPromise<QString>>();
    QFuture<QString> done = promise->future();
    promise->start();
    m_worker.start([model = m_model, promise, samples = std::move(samples16kMono),
                    code = whisperLanguage(language).toLatin1()] {
        try {
            promise->addResult(model->transcribe(samples, code));
        } catch (...) {
            promise->setException(std::current_exception());
        }
        promise->finish();
    });

    const QPointer<WhisperRecognizer> self(this);
    std::exception_ptr error;
    QString text;
    try {
        text = co_await done;
    } catch (...) {
        error = std::current_exception();
    }
    if (self) {
        setLoaded(m_model->context != nullptr);
        if (--m_queued == 0 && m_loaded) {
            m_idle.start();
        }
    }
    if (error) {
        std::rethrow_exception(error);
    }
    co_return text;
}

void WhisperRecognizer::releaseIdleModel()
{
    // Nothing is queued, so the worker is idle and the model is ours to free here.
    if (m_queued == 0) {
        m_model->release();
        setLoaded(false);
    }
}

void WhisperRecognizer::setLoaded(bool loaded)
{
    if (m_loaded != loaded) {
        m_loaded = loaded;
        emit modelLoadedChanged(loaded);
    }
}
