// Micro benchmarks of the translation engine, and one whole-process measurement of
// quenzal-translate answering from its cache.
#include "benchtext.h"
#include "cld2languagerecognizer.h"
#include "deepseekservice.h"
#include "languagedetector.h"
#include "testhttpserver.h"
#include "translationcache.h"
#include "translationservice.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

DeepSeekService::ApiKeyProvider noKey()
{
    return []() -> QCoro::Task<QString> { co_return QString(); };
}

void detect(benchmark::State &state)
{
    LanguageDetector detector(std::make_unique<Cld2LanguageRecognizer>());
    const QString text = textOfLength(int(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(detector.detect(text));
    }
}
BENCHMARK(detect)->Arg(20)->Arg(500)->Arg(5000)->Unit(benchmark::kMicrosecond);

void cacheKey(benchmark::State &state)
{
    const QString text = textOfLength(int(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(TranslationCache::key(text, "en", "ru:formal"));
    }
}
BENCHMARK(cacheKey)->Arg(5000)->Unit(benchmark::kMicrosecond);

void cacheHitTranslate(benchmark::State &state)
{
    QTemporaryDir dir;
    TranslationCache cache(dir.path(), [](const QString &) {});
    DeepSeekService deepSeek(QUrl("http://127.0.0.1:9/"), noKey());
    TranslationService service(cache, deepSeek);
    const QString text = textOfLength(200);
    const Language ru = *Language::find(Language::targetLanguages(), u"ru");
    cache.set(
        TranslationService::cacheKey(text, Language::english(), ru, TranslationStyle::standard),
        "cached");
    for (auto _ : state) {
        benchmark::DoNotOptimize(QCoro::waitFor(
            service.translate(text, Language::english(), ru, TranslationStyle::standard)));
    }
}
BENCHMARK(cacheHitTranslate)->Unit(benchmark::kMicrosecond);

// The caller's share of a store into a full cache: insert, evict, snapshot, queue the write.
void cacheSetFull(benchmark::State &state)
{
    QTemporaryDir dir;
    TranslationCache cache(dir.path(), [](const QString &) {});
    const QString value = textOfLength(1000);
    for (int i = 0; i < TranslationCache::maxEntries; ++i) {
        cache.set(TranslationCache::key(QString::number(i), "en", "de:standard"), value);
    }
    cache.waitForPendingWrites();
    int next = TranslationCache::maxEntries;
    for (auto _ : state) {
        cache.set(TranslationCache::key(QString::number(next++), "en", "de:standard"), value);
    }
    cache.waitForPendingWrites();
}
BENCHMARK(cacheSetFull)->Unit(benchmark::kMicrosecond);

// One complete rewrite of translations.json holding 500 entries of 1 KB.
void cacheFileRewrite(benchmark::State &state)
{
    QTemporaryDir dir;
    TranslationCache cache(dir.path(), [](const QString &) {});
    const QString value = textOfLength(1024);
    for (int i = 0; i < TranslationCache::maxEntries; ++i) {
        cache.set(TranslationCache::key(QString::number(i), "en", "de:standard"), value);
    }
    cache.waitForPendingWrites();
    int next = 0;
    for (auto _ : state) {
        cache.set(TranslationCache::key(QString::number(next++ % 500), "en", "de:standard"), value);
        cache.waitForPendingWrites();
    }
}
BENCHMARK(cacheFileRewrite)->Unit(benchmark::kMillisecond);

// One request and reply against a local server that answers at once.
void deepSeekRoundTrip(benchmark::State &state)
{
    TestHttpServer server;
    DeepSeekService service(server.url(), noKey());
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            QCoro::waitFor(service.translate("Hello", "en", "de", TranslationStyle::standard)));
    }
}
BENCHMARK(deepSeekRoundTrip)->Unit(benchmark::kMicrosecond);

// A cold quenzal-translate process, source detected, answered from its cache file.
void commandLineCacheHit(benchmark::State &state)
{
    QTemporaryDir home;
    const QString text = QStringLiteral("Good morning, how are you today?");
    {
        TranslationCache cache(home.path() + "/.local/share/Quenzal", [](const QString &) {});
        const Language de = *Language::find(Language::targetLanguages(), u"de");
        cache.set(
            TranslationService::cacheKey(text, Language::english(), de, TranslationStyle::standard),
            "Guten Morgen, wie geht es dir heute?");
    }
    const QByteArray program = QByteArray(QUENZAL_TRANSLATE);
    const QByteArray homeVariable = "HOME=" + QFile::encodeName(home.path());
    const QByteArray dataVariable =
        "XDG_DATA_HOME=" + QFile::encodeName(home.path()) + "/.local/share";
    const QByteArray configVariable =
        "XDG_CONFIG_HOME=" + QFile::encodeName(home.path()) + "/.config";
    const QByteArray textArgument = text.toUtf8();
    char *const argv[] = {const_cast<char *>(program.constData()), const_cast<char *>("--to"),
                          const_cast<char *>("de"), const_cast<char *>(textArgument.constData()),
                          nullptr};
    char *const envp[] = {const_cast<char *>(homeVariable.constData()),
                          const_cast<char *>(dataVariable.constData()),
                          const_cast<char *>(configVariable.constData()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawn(&pid, program.constData(), &actions, nullptr, argv, envp) != 0) {
            state.SkipWithError("cannot start quenzal-translate");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("quenzal-translate failed");
            break;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}
BENCHMARK(commandLineCacheHit)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
