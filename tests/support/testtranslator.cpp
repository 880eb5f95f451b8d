#include "testtranslator.h"

#include "languagedetector.h"

#include <QFile>

namespace {

// Written before QSettings reads it.
QString settingsFile(const TestHome &home, const QByteArray &ini)
{
    const QString path = home.path() + QStringLiteral("/settings.ini");
    if (!ini.isEmpty()) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(ini) != ini.size()) {
            qFatal("TestTranslator: cannot write %s", qPrintable(path));
        }
    }
    return path;
}

} // namespace

TestTranslator::TestTranslator(const QByteArray &ini,
                               std::unique_ptr<LanguageRecognizer> recognizer)
    : settings(settingsFile(home, ini), QSettings::IniFormat)
    , m_nextSpeech(std::make_unique<FakeSpeechEngine>())
{
    if (!recognizer) {
        auto fake = std::make_unique<FakeLanguageRecognizer>();
        this->recognizer = fake.get();
        recognizer = std::move(fake);
    }
    speech = m_nextSpeech.get();
    viewModel = std::make_unique<TranslatorViewModel>(
        service, preferences, std::make_unique<LanguageDetector>(std::move(recognizer)), [this] {
            ++speechEnginesMade;
            if (!m_nextSpeech) {
                m_nextSpeech = std::make_unique<FakeSpeechEngine>();
                speech = m_nextSpeech.get();
            }
            return std::unique_ptr<SpeechEngine>(std::move(m_nextSpeech));
        });
    viewModel->setDebounceInterval(std::chrono::hours(1));
}
