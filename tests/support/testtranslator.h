#pragma once

#include "deepseekservice.h"
#include "fakelanguagerecognizer.h"
#include "fakespeechengine.h"
#include "preferences.h"
#include "testhome.h"
#include "testhttpserver.h"
#include "translationcache.h"
#include "translationservice.h"
#include "translatorviewmodel.h"

#include <QSettings>

#include <functional>
#include <memory>

// The translator as the programs build it, over stand-ins: a home of its own with its own
// settings file (holding `ini` at start), the cache there, DeepSeek at a local server answering
// "Hallo", a recogniser that says what the test tells it, a speech engine that speaks nothing.
// Translations wait an hour after the last edit unless a test shortens the debounce.
class TestTranslator
{
public:
    explicit TestTranslator(const QByteArray &ini = {},
                            std::unique_ptr<LanguageRecognizer> recognizer = {});

    TestHome home;
    TestHttpServer server;
    QSettings settings;
    Preferences preferences{settings};
    TranslationCache cache{home.dataHome() + QStringLiteral("/Quenzal"), [](const QString &) {}};
    // What DeepSeek is given as the key; a test may replace it.
    std::function<QCoro::Task<QString>()> apiKey = []() -> QCoro::Task<QString> {
        co_return QStringLiteral("k");
    };
    DeepSeekService deepSeek{server.url(), [this] { return apiKey(); }};
    TranslationService service{cache, deepSeek};
    // The recogniser given to the view model, when it is the default stand-in.
    FakeLanguageRecognizer *recognizer = nullptr;
    // The next speech engine the view model gets; a new one is made should it ask again.
    FakeSpeechEngine *speech = nullptr;
    int speechEnginesMade = 0;
    std::unique_ptr<TranslatorViewModel> viewModel;

private:
    std::unique_ptr<FakeSpeechEngine> m_nextSpeech;
};
