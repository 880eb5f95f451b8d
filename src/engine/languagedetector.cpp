#include "languagedetector.h"

#include "languagerecognizer.h"

#include <algorithm>

LanguageDetector::LanguageDetector(std::unique_ptr<LanguageRecognizer> recognizer)
    : m_recognizer(std::move(recognizer))
{}

LanguageDetector::~LanguageDetector() = default;

std::optional<Language> LanguageDetector::match(QStringView tag)
{
    for (const Language &language : Language::sourceLanguages()) {
        if (language.isAuto()) {
            continue;
        }
        if (tag == language.id || (tag.startsWith(language.id) && tag.size() > language.id.size() &&
                                   tag[language.id.size()] == QLatin1Char('-'))) {
            return language;
        }
    }
    return std::nullopt;
}

std::optional<Language> LanguageDetector::detect(const QString &text)
{
    if (text.trimmed().isEmpty()) {
        return std::nullopt;
    }
    m_recognizer->reset();
    m_recognizer->processString(text);
    if (const std::optional<QString> dominant = m_recognizer->dominantLanguage()) {
        if (std::optional<Language> language = match(*dominant)) {
            return language;
        }
    }
    QList<LanguageRecognizer::Hypothesis> hypotheses = m_recognizer->languageHypotheses(10);
    std::stable_sort(hypotheses.begin(), hypotheses.end(),
                     [](const auto &a, const auto &b) { return a.probability > b.probability; });
    for (const LanguageRecognizer::Hypothesis &hypothesis : hypotheses) {
        if (std::optional<Language> language = match(hypothesis.tag)) {
            return language;
        }
    }
    return std::nullopt;
}
