#include "qtaudiorecorder.h"

#include "audioconverter.h"

#include <QAudioDevice>
#include <QAudioSource>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMediaDevices>

#include <span>

Q_LOGGING_CATEGORY(lcAudio, "quenzal.audio", QtInfoMsg)

namespace {

// How often level() reports, in samples at 16 kHz: 10 times a second.
constexpr std::size_t levelInterval = AudioConverter::outputRate / 10;
constexpr std::chrono::seconds overtimeGrace{2};

QAudioFormat chooseFormat(const QAudioDevice &device)
{
    QAudioFormat format;
    format.setSampleRate(AudioConverter::outputRate);
    format.setChannelCount(1);
    for (const auto sampleFormat : {QAudioFormat::Float, QAudioFormat::Int16}) {
        format.setSampleFormat(sampleFormat);
        if (device.isFormatSupported(format)) {
            return format;
        }
    }
    return device.preferredFormat();
}

AudioRecorder::Failure failureOf(QAudio::Error error)
{
    // Pulse refuses a source that another client holds exclusively or that policy denies us
    // with the same error as one that cannot be opened at all.
    return error == QAudio::OpenError ? AudioRecorder::Failure::busyOrRefused
                                      : AudioRecorder::Failure::other;
}

} // namespace

QtAudioRecorder::QtAudioRecorder(RecordingLimits limits, QObject *parent)
    : AudioRecorder(parent)
    , m_limits(limits)
{
    m_overtime.setSingleShot(true);
    connect(&m_overtime, &QTimer::timeout, this, &QtAudioRecorder::stop);
}

QtAudioRecorder::~QtAudioRecorder()
{
    QAudioSource *source = m_source;
    closeSource();
    delete source; // no event loop may run after us to delete it later
}

bool QtAudioRecorder::isRecording() const
{
    return m_source != nullptr;
}

void QtAudioRecorder::start()
{
    if (isRecording()) {
        return;
    }
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    if (device.isNull()) {
        emit failed(tr("No microphone found"), Failure::noDevice);
        return;
    }
    // Without a parent: Qt 6.4 makes the backend of the source a child of the source's parent,
    // which then deletes it once more after the source deleted it. closeSource() deletes it.
    m_source = new QAudioSource(device, chooseFormat(device));
    m_converter = std::make_unique<AudioConverter>(m_source->format());
    m_endpointer.emplace(m_limits);
    m_samples.clear();
    m_samples.reserve(std::size_t(m_limits.longest.count()) * AudioConverter::outputRate / 1000);
    m_samplesAtLastLevel = 0;
    m_longestBuffer = {};
    m_buffers = 0;
    connect(m_source, &QAudioSource::stateChanged, this, [this](QAudio::State state) {
        if (state == QAudio::StoppedState && m_source->error() != QAudio::NoError) {
            fail(failureOf(m_source->error()));
        }
    });
    m_input = m_source->start();
    if (m_source->error() != QAudio::NoError || m_input == nullptr) {
        fail(failureOf(m_source->error()));
        return;
    }
    connect(m_input, &QIODevice::readyRead, this, &QtAudioRecorder::readAvailable);
    m_overtime.start(m_limits.longest + overtimeGrace);
    qCDebug(lcAudio) << "recording from" << device.description() << m_source->format();
    emit started();
}

void QtAudioRecorder::stop()
{
    if (!isRecording()) {
        return;
    }
    // What the device already delivered belongs to the utterance.
    if (m_input != nullptr) {
        m_converter->convert(m_input->readAll(), m_samples);
    }
    m_converter->flush(m_samples);
    qCDebug(lcAudio)
        << "longest of" << m_buffers << "buffers took"
        << std::chrono::duration_cast<std::chrono::microseconds>(m_longestBuffer).count() << "µs";
    closeSource();
    const std::vector<float> samples = std::exchange(m_samples, {});
    emit finished(samples);
}

void QtAudioRecorder::cancel()
{
    closeSource();
    m_samples = {};
}

void QtAudioRecorder::readAvailable()
{
    QElapsedTimer clock;
    clock.start();
    const std::size_t before = m_samples.size();
    m_converter->convert(m_input->readAll(), m_samples);
    const auto verdict = m_endpointer->feed(std::span(m_samples).subspan(before));
    const bool levelDue = m_samples.size() - m_samplesAtLastLevel >= levelInterval;
    const float loudness = levelDue ? m_endpointer->takeLoudness() : 0.0f;
    m_longestBuffer = std::max(m_longestBuffer, std::chrono::nanoseconds(clock.nsecsElapsed()));
    ++m_buffers;
    if (levelDue) {
        m_samplesAtLastLevel = m_samples.size();
        emit level(loudness);
        if (!isRecording()) { // a receiver stopped or cancelled
            return;
        }
    }
    if (verdict != SpeechEndpointer::Verdict::listening) {
        stop();
    }
}

void QtAudioRecorder::fail(Failure kind)
{
    closeSource();
    m_samples = {};
    if (kind == Failure::busyOrRefused) {
        emit failed(tr("The microphone is in use by another program, or access to it was refused"),
                    Failure::busyOrRefused);
    } else {
        emit failed(tr("Recording from the microphone failed"), Failure::other);
    }
}

void QtAudioRecorder::closeSource()
{
    m_overtime.stop();
    if (m_source != nullptr) {
        m_source->disconnect(this);
        if (m_input != nullptr) {
            m_input->disconnect(this);
        }
        m_source->stop();
        m_source->deleteLater();
    }
    m_source = nullptr;
    m_input = nullptr;
    m_converter.reset();
    m_endpointer.reset();
}
