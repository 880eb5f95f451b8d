// Micro benchmarks of the translator's state: the keystroke path, the pills, and a cached
// translation reaching the screen.
#include "benchtext.h"
#include "benchtranslator.h"

#include <benchmark/benchmark.h>

namespace {

// One accepted edit with the source on "auto": length check, detection, debounce restart.
void keystroke(benchmark::State &state)
{
    BenchTranslator translator;
    const QString text = textOfLength(int(state.range(0)));
    const QString texts[] = {text, text.chopped(1)};
    int i = 0;
    for (auto _ : state) {
        translator.viewModel.setSourceText(texts[i++ % 2]);
    }
}
BENCHMARK(keystroke)->Arg(500)->Arg(5000)->Unit(benchmark::kMicrosecond);

// The same with 5000 characters of two UTF-16 units each, so that they have to be counted.
void keystrokeCountingCharacters(benchmark::State &state)
{
    BenchTranslator translator;
    const QString text = textOfLength(5000)
                             .replace(QLatin1Char('e'), QStringLiteral("e\u0301"))
                             .replace(QLatin1Char('a'), QStringLiteral("a\u0308"));
    const QString texts[] = {text, text.chopped(1)};
    int i = 0;
    for (auto _ : state) {
        translator.viewModel.setSourceText(texts[i++ % 2]);
    }
    if (translator.viewModel.sourceText().size() <= TranslatorViewModel::maxSourceLength) {
        state.SkipWithError("the text did not need counting");
    }
}
BENCHMARK(keystrokeCountingCharacters)->Unit(benchmark::kMicrosecond);

void sourcePills(benchmark::State &state)
{
    BenchTranslator translator;
    for (auto _ : state) {
        benchmark::DoNotOptimize(translator.viewModel.sourcePillLanguages());
    }
}
BENCHMARK(sourcePills)->Unit(benchmark::kMicrosecond);

void targetMoreLanguages(benchmark::State &state)
{
    BenchTranslator translator;
    for (auto _ : state) {
        benchmark::DoNotOptimize(translator.viewModel.targetMoreLanguages());
    }
}
BENCHMARK(targetMoreLanguages)->Unit(benchmark::kMicrosecond);

// translate() for a text whose translation is cached, until translatedText holds it.
void cachedTranslationShown(benchmark::State &state)
{
    BenchTranslator translator;
    const Language de = *Language::find(Language::targetLanguages(), u"de");
    const Language fr = *Language::find(Language::targetLanguages(), u"fr");
    const QString texts[] = {textOfLength(200), textOfLength(300)};
    for (const QString &text : texts) {
        translator.cache.set(TranslationService::cacheKey(text, de, fr, TranslationStyle::standard),
                             text.left(20));
    }
    translator.viewModel.setSourceLanguage(de);
    translator.viewModel.setTargetLanguage(fr);
    int i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString &text = texts[i++ % 2];
        translator.viewModel.setSourceText(text);
        state.ResumeTiming();
        translator.viewModel.translate();
        if (translator.viewModel.translatedText() != text.left(20)) {
            state.SkipWithError("the translation did not arrive at once");
            break;
        }
    }
}
BENCHMARK(cachedTranslationShown)->Unit(benchmark::kMicrosecond);

} // namespace
