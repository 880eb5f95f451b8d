#pragma once

#include <QList>
#include <QString>

#include <optional>

// A statistical recogniser of the language of one string.
//
// After reset() and one processString(), dominantLanguage() and languageHypotheses() describe
// that string alone. Tags are BCP 47 ("en", "zh-Hans", "zh-Hant", "he", "fil").
// Not safe for concurrent use: one call resets and refills the recogniser.
class LanguageRecognizer
{
public:
    struct Hypothesis
    {
        QString tag;
        double probability = 0.0; // 0..1
    };

    virtual ~LanguageRecognizer() = default;

    virtual void reset() = 0;
    virtual void processString(const QString &text) = 0;
    virtual std::optional<QString> dominantLanguage() const = 0;
    // At most `maximum` hypotheses, in the order the recogniser delivers them.
    virtual QList<Hypothesis> languageHypotheses(int maximum) const = 0;
};
