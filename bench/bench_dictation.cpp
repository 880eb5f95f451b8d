// Dictation's own cost on the GUI thread: from the end of a recording to the words in the
// source text, with a recogniser that answers at once (budget 20 ms), and the longest stall of
// the GUI thread while whisper recognises speech (budget 16 ms, one frame).
#include "benchtranslator.h"
#include "dictation.h"
#include "fakedictationbackend.h"
#include "noscrolltexteditor.h"
#include "popovercontentview.h"
#include "waitfortask.h"
#include "wavefile.h"
#include "whisperrecognizer.h"

#include <QApplication>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

using namespace std::chrono_literals;

namespace {

const QString dictated = QStringLiteral("Dictated words");

// A recogniser with no time of its own: what is measured is everything around it.
class InstantRecognizer : public SpeechRecognizer
{
public:
    QCoro::Task<QString> transcribe(std::vector<float>, QString) override { co_return dictated; }
};

class InstantBackend : public DictationBackend
{
public:
    explicit InstantBackend(std::size_t samples)
        : m_samples(samples)
    {}
    std::unique_ptr<AudioRecorder> makeRecorder(QString *) override
    {
        auto made = std::make_unique<FakeAudioRecorder>();
        made->samples.assign(m_samples, 0.25f);
        recorder = made.get();
        return made;
    }
    std::unique_ptr<SpeechRecognizer> makeRecognizer(const QString &, QString *) override
    {
        return std::make_unique<InstantRecognizer>();
    }

    FakeAudioRecorder *recorder = nullptr;

private:
    std::size_t m_samples;
};

// The recorder's stop() until the words are in the view model, through the popover's editor,
// for recordings of 1 s and of the longest 30 s.
void dictatedTextInserted(benchmark::State &state)
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr) {
        state.SkipWithError("the popover needs a QApplication");
        return;
    }
    BenchTranslator translator;
    InstantBackend backend(std::size_t(state.range(0)) * 16'000);
    ModelStore models(TestDictation::catalogue(), QUrl(QStringLiteral("http://127.0.0.1:9")),
                      translator.dir.path());
    QFile model(models.path(QStringLiteral("base")));
    if (!model.open(QIODevice::WriteOnly) || model.write("base!") != 5) {
        state.SkipWithError("cannot write the model file");
        return;
    }
    model.close();
    Dictation dictation(backend, models, translator.preferences, translator.viewModel);
    PopoverContentView view(translator.viewModel, translator.preferences, dictation);
    view.resize(780, 460);
    view.show();
    QApplication::processEvents();
    for (auto _ : state) {
        state.PauseTiming();
        translator.viewModel.clear();
        dictation.toggle();
        if (!backend.recorder || !backend.recorder->recording) {
            state.SkipWithError("the recording did not start");
            break;
        }
        state.ResumeTiming();
        backend.recorder->stop();
        while (!translator.viewModel.sourceText().contains(dictated)) {
            QApplication::processEvents();
        }
    }
}
BENCHMARK(dictatedTextInserted)->Arg(1)->Arg(30)->Unit(benchmark::kMillisecond);

// The real recogniser on 11 s of speech with whisper's weightless test model, read anew each
// time (the first request loads it): the longest gap between the ticks of a 1 ms timer on the
// GUI thread, from transcribe() to its answer, as the counter "stall_ms", and when it ended,
// counted from transcribe(), as "stall_at_s".
void recognitionStall(benchmark::State &state)
{
    const WaveFile wave = WaveFile::read16kMono(QStringLiteral(WHISPER_DIR "/samples/jfk.wav"));
    if (!wave.problem.isEmpty()) {
        state.SkipWithError(qPrintable(wave.problem));
        return;
    }
    qint64 longest = 0;
    qint64 longestEnded = 0;
    for (auto _ : state) {
        WhisperRecognizer recognizer(QStringLiteral(WHISPER_DIR "/models/for-tests-ggml-base.bin"));
        QElapsedTimer clock;
        qint64 lastTick = 0;
        QTimer ticks;
        ticks.setTimerType(Qt::PreciseTimer);
        ticks.setInterval(1ms);
        const auto tick = [&] {
            const qint64 now = clock.nsecsElapsed();
            if (now - lastTick > longest) {
                longest = now - lastTick;
                longestEnded = now;
            }
            lastTick = now;
        };
        QObject::connect(&ticks, &QTimer::timeout, tick);
        clock.start();
        ticks.start();
        try {
            waitForTask(recognizer.transcribe(wave.samples, QStringLiteral("en")), 600s);
        } catch (const std::exception &) {
            state.SkipWithError("the recognition failed or did not end");
            break;
        }
        tick(); // a stall up to the answer counts too
        ticks.stop();
        if (!recognizer.isModelLoaded()) {
            state.SkipWithError("the model did not load");
            break;
        }
    }
    state.counters["stall_ms"] = double(longest) / 1e6;
    state.counters["stall_at_s"] = double(longestEnded) / 1e9;
}
BENCHMARK(recognitionStall)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
