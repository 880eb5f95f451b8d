#pragma once

#include "cld2languagerecognizer.h"
#include "deepseekservice.h"
#include "languagedetector.h"
#include "preferences.h"
#include "translationcache.h"
#include "translationservice.h"
#include "translatorviewmodel.h"

#include <QSettings>
#include <QTemporaryDir>

// A view model over a cache in a temporary folder, CLD2 for detection and a DeepSeek that is
// never reached: translations start only when a benchmark asks for one.
struct BenchTranslator
{
    QTemporaryDir dir;
    TranslationCache cache{dir.path(), [](const QString &) {}};
    DeepSeekService deepSeek{QUrl("http://127.0.0.1:9/"),
                             []() -> QCoro::Task<QString> { co_return QString(); }};
    TranslationService service{cache, deepSeek};
    QSettings settings{dir.path() + "/settings.ini", QSettings::IniFormat};
    Preferences preferences{settings};
    TranslatorViewModel viewModel{
        service, preferences,
        std::make_unique<LanguageDetector>(std::make_unique<Cld2LanguageRecognizer>()),
        [] { return nullptr; }};

    BenchTranslator() { viewModel.setDebounceInterval(std::chrono::hours(1)); }
};
