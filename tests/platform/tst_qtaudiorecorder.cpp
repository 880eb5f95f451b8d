// The conversion on its own, then the recorder against the private PulseAudio server of
// scripts/with-sound-server, whose microphone hears what paplay plays: speech made by espeak-ng.
#include "audioconverter.h"
#include "qtaudiorecorder.h"

#include <QAudioDevice>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cmath>
#include <numbers>
#include <span>

using namespace std::chrono_literals;

namespace {

constexpr int waitLimit = 60'000; // ms
constexpr int frame = 480;        // 30 ms at 16 kHz

// Seconds from the first to the last 30 ms frame louder than -40 dBFS.
double loudSpan(std::span<const float> samples, int rate)
{
    const int length = rate * 30 / 1000;
    std::ptrdiff_t first = -1, last = -1;
    for (std::ptrdiff_t start = 0; start + length <= std::ssize(samples); start += length) {
        double squares = 0;
        for (const float sample : samples.subspan(start, length)) {
            squares += double(sample) * sample;
        }
        if (std::sqrt(squares / length) > 0.01) {
            first = first < 0 ? start : first;
            last = start + length;
        }
    }
    return first < 0 ? 0.0 : double(last - first) / rate;
}

template <typename T> void put(QByteArray &bytes, T value)
{
    bytes.append(reinterpret_cast<const char *>(&value), sizeof value);
}

void putSample(QByteArray &bytes, QAudioFormat::SampleFormat format, double value)
{
    switch (format) {
    case QAudioFormat::UInt8:
        return put(bytes, quint8(std::lround(128 + value * 127)));
    case QAudioFormat::Int16:
        return put(bytes, qint16(std::lround(value * 32767)));
    case QAudioFormat::Int32:
        return put(bytes, qint32(std::lround(value * 2147483647.0)));
    default:
        return put(bytes, float(value));
    }
}

} // namespace

class TestQtAudioRecorder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("QUENZAL_TEST_SOUND_SERVER"),
                 "run under scripts/with-sound-server: never against the machine's sound server");
        QVERIFY(m_dir.isValid());
        m_speech = m_dir.filePath(QStringLiteral("speech.wav"));
        QCOMPARE(QProcess::execute(QStringLiteral("espeak-ng"),
                                   {QStringLiteral("-w"), m_speech,
                                    QStringLiteral("Please translate this sentence into French "
                                                   "for me, and read it out loud.")}),
                 0);
        // espeak-ng writes 22.05 kHz mono 16-bit PCM; the samples follow the "data" chunk.
        QFile wav(m_speech);
        QVERIFY(wav.open(QIODevice::ReadOnly));
        const QByteArray bytes = wav.readAll();
        const qsizetype data = bytes.indexOf("data") + 8;
        QVERIFY(data > 8);
        std::vector<float> samples;
        for (qsizetype at = data; at + 1 < bytes.size(); at += 2) {
            samples.push_back(float(qFromLittleEndian<qint16>(bytes.constData() + at)) / 32768);
        }
        m_speechSpan = loudSpan(samples, 22050);
        QVERIFY(m_speechSpan > 2.0);
    }

    // Tones through every sample format, rate and channel layout a device may give: the
    // speech band arrives intact at 16 kHz, what is above 8 kHz does not fold back into it, and
    // a second tone in antiphase between the channels cancels in the mix. Bytes come in
    // buffers that split frames.
    void convertsToSixteenKilohertzMono_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QAudioFormat::SampleFormat>("format");
        QTest::addColumn<double>("tone"); // above 8 kHz: nothing of it may remain
        QTest::newRow("48 kHz stereo int16") << 48'000 << 2 << QAudioFormat::Int16 << 440.0;
        QTest::newRow("44.1 kHz mono float") << 44'100 << 1 << QAudioFormat::Float << 3000.0;
        QTest::newRow("22.05 kHz mono uint8") << 22'050 << 1 << QAudioFormat::UInt8 << 440.0;
        QTest::newRow("8 kHz stereo int32") << 8'000 << 2 << QAudioFormat::Int32 << 1000.0;
        QTest::newRow("16 kHz 6 channels") << 16'000 << 6 << QAudioFormat::Int16 << 700.0;
        QTest::newRow("above 8 kHz at 48 kHz") << 48'000 << 1 << QAudioFormat::Float << 12'000.0;
        QTest::newRow("above 8 kHz at 44.1 kHz") << 44'100 << 2 << QAudioFormat::Int16 << 9'000.0;
    }
    void convertsToSixteenKilohertzMono()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(QAudioFormat::SampleFormat, format);
        QFETCH(double, tone);
        const double expectedAmplitude = tone > 8000 ? 0.0 : 0.5;

        QAudioFormat audioFormat;
        audioFormat.setSampleRate(rate);
        audioFormat.setChannelCount(channels);
        audioFormat.setSampleFormat(format);
        const int inputFrames = rate * 7 / 10; // 0.7 s
        const auto at = [](double hz, double seconds) {
            return std::sin(2 * std::numbers::pi * hz * seconds);
        };
        QByteArray bytes;
        for (int i = 0; i < inputFrames; ++i) {
            const double seconds = double(i) / rate;
            for (int channel = 0; channel < channels; ++channel) {
                const double antiphase = (channel % 2 == 0 ? 0.3 : -0.3) * at(2500, seconds);
                putSample(bytes, format,
                          0.5 * at(tone, seconds) + (channels % 2 == 0 ? antiphase : 0.0));
            }
        }

        AudioConverter converter(audioFormat);
        std::vector<float> out;
        for (qsizetype start = 0; start < bytes.size(); start += 1001) {
            converter.convert(QByteArrayView(bytes).sliced(start).first(
                                  std::min<qsizetype>(1001, bytes.size() - start)),
                              out);
        }
        converter.flush(out);

        QCOMPARE(qint64(out.size()), (qint64(inputFrames) * 16'000 + rate - 1) / rate);
        // Away from the ends, where the filter sees the silence before and after.
        double error = 0;
        int compared = 0;
        for (std::size_t j = 2 * frame; j + 2 * frame < out.size(); ++j) {
            const double expected = expectedAmplitude * at(tone, double(j) / 16'000);
            error = std::max(error, std::abs(out[j] - expected));
            ++compared;
        }
        QVERIFY(compared > 8000);
        // 8-bit samples carry their own noise of about 1/256.
        QVERIFY2(error < (format == QAudioFormat::UInt8 ? 0.03 : 0.01),
                 qPrintable(QString::number(error)));
    }

    // Ends by itself: after the speech and the silence that follows it, or at the longest a
    // recording may last, which silence before any speech does not shorten.
    void endsByItself_data()
    {
        QTest::addColumn<bool>("speak");
        QTest::addColumn<int>("silenceMs");
        QTest::addColumn<int>("longestMs");

        QTest::newRow("silence after speech") << true << 1000 << 20'000;
        QTest::newRow("no speech: the longest") << false << 300 << 1500;
        QTest::newRow("speech cut at the longest") << true << 2000 << 3000;
    }
    void endsByItself()
    {
        QFETCH(bool, speak);
        QFETCH(int, silenceMs);
        QFETCH(int, longestMs);

        QtAudioRecorder recorder(
            {std::chrono::milliseconds(silenceMs), std::chrono::milliseconds(longestMs)});
        QSignalSpy started(&recorder, &AudioRecorder::started);
        QSignalSpy finished(&recorder, &AudioRecorder::finished);
        QSignalSpy failed(&recorder, &AudioRecorder::failed);
        recorder.start();
        QCOMPARE(started.size(), 1);
        QProcess player;
        if (speak) {
            player.start(QStringLiteral("paplay"), {m_speech});
        }
        QVERIFY(finished.wait(waitLimit));
        QCOMPARE(failed.size(), 0);
        QVERIFY(!recorder.isRecording());
        player.waitForFinished(waitLimit);

        const auto samples = finished.at(0).at(0).value<std::vector<float>>();
        const double seconds = double(samples.size()) / 16'000;
        const double longest = longestMs / 1000.0;
        QVERIFY(std::ranges::all_of(samples, [](float s) { return s >= -1 && s <= 1; }));
        if (speak && longestMs > 10'000) {
            // The whole utterance, at the right speed, and then the silence that ended it.
            QVERIFY2(std::abs(loudSpan(samples, 16'000) - m_speechSpan) < 0.25,
                     qPrintable(QString::number(loudSpan(samples, 16'000))));
            QVERIFY2(seconds >= m_speechSpan + silenceMs / 1000.0 && seconds < longest,
                     qPrintable(QString::number(seconds)));
        } else {
            // The device gives its sound in buffers of up to about 0.2 s. Under the sanitizers
            // the sound server may start delivering 2 s late, and the clock (the longest plus
            // 2 s from the start) then ends the recording short of the longest.
            QVERIFY2(seconds > longest * 0.75 && seconds < longest + 0.5,
                     qPrintable(QString::number(seconds)));
            QCOMPARE(loudSpan(samples, 16'000) > 0, speak);
        }
    }

    // Nothing of a cancelled recording arrives, neither on its own nor in the next one.
    void cancelDiscardsTheRecording()
    {
        QtAudioRecorder recorder({2s, 800ms});
        QSignalSpy finished(&recorder, &AudioRecorder::finished);
        QSignalSpy level(&recorder, &AudioRecorder::level);
        recorder.start();
        QProcess player;
        player.start(QStringLiteral("paplay"), {m_speech});
        QTRY_VERIFY_WITH_TIMEOUT(!level.isEmpty() && level.last().at(0).toFloat() > 0.5, waitLimit);
        recorder.cancel();
        QVERIFY(!recorder.isRecording());
        player.kill();
        player.waitForFinished(waitLimit);

        recorder.start();
        QVERIFY(finished.wait(waitLimit));
        QCOMPARE(finished.size(), 1);
        const auto samples = finished.at(0).at(0).value<std::vector<float>>();
        QVERIFY2(samples.size() < 1300 * 16, qPrintable(QString::number(samples.size())));
        QCOMPARE(loudSpan(samples, 16'000), 0.0);
    }

private:
    QTemporaryDir m_dir;
    QString m_speech;
    double m_speechSpan = 0;
};

QTEST_GUILESS_MAIN(TestQtAudioRecorder)
#include "tst_qtaudiorecorder.moc"
