#pragma once

#include "deepseekservice.h"
#include "fakelanguagerecognizer.h"
#include "fakespeechengine.h"
#include "languagedetector.h"
#include "preferences.h"
#include "testhome.h"
#include "testhttpserver.h"
#include "translationcache.h"
#include "translationservice.h"
#include "translatorviewmodel.h"

#include <QSettings>

// The translator as the programs build it, over stand-ins: a home whose settings file holds
// `ini`, DeepSeek at a local server, fakes for recognition and speech, a debounce of an hour.
class TestTranslator
{
public:
    explicit TestTranslator(const QByteArray &ini = {})
        : settings(writtenSettings(ini), QSettings::IniFormat)
    {
        auto recognizer = std::make_unique<FakeLanguageRecognizer>();
        this->recognizer = recognizer.get();
        speech = m_nextSpeech.get();
        viewModel = std::make_unique<TranslatorViewModel>(
            service, preferences, std::make_unique<LanguageDetector>(std::move(recognizer)),
            [this]() -> std::unique_ptr<SpeechEngine> {
                if (speechEnginesMade++ > 0) {
                    m_nextSpeech = std::make_unique<FakeSpeechEngine>();
                    speech = m_nextSpeech.get();
                }
                return std::move(m_nextSpeech);
            });
        viewModel->setDebounceInterval(std::chrono::hours(1));
    }

    TestHome home;
    TestHttpServer server;
    QSettings settings;
    Preferences preferences{settings};
    TranslationCache cache{home.dataHome() + QStringLiteral("/Quenzal"), [](const QString &) {}};
    std::function<QCoro::Task<QString>()> apiKey = []() -> QCoro::Task<QString> {
        co_return QStringLiteral("k");
    };
    DeepSeekService deepSeek{server.url(), [this] { return apiKey(); }};
    TranslationService service{cache, deepSeek};
    FakeLanguageRecognizer *recognizer = nullptr;
    FakeSpeechEngine *speech = nullptr; // the view model's, or the next one it gets
    int speechEnginesMade = 0;
    std::unique_ptr<TranslatorViewModel> viewModel;

private:
    std::unique_ptr<FakeSpeechEngine> m_nextSpeech = std::make_unique<FakeSpeechEngine>();
    QString writtenSettings(const QByteArray &ini) const
    {
        QFile file(home.path() + QStringLiteral("/settings.ini"));
        if (!file.open(QIODevice::WriteOnly) || file.write(ini) != ini.size()) {
            qFatal("TestTranslator: cannot write %s", qPrintable(file.fileName()));
        }
        return file.fileName();
    }
};
