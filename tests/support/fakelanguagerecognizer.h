#pragma once

#include "languagerecognizer.h"

#include <QStringList>

// Answers what the test scripts, and records what it was asked.
class FakeLanguageRecognizer : public LanguageRecognizer
{
public:
    void reset() override { ++resets; }
    void processString(const QString &text) override { processed.append(text); }
    std::optional<QString> dominantLanguage() const override { return dominant; }
    QList<Hypothesis> languageHypotheses(int maximum) const override
    {
        return hypotheses.mid(0, maximum);
    }

    std::optional<QString> dominant;
    QList<Hypothesis> hypotheses;
    QStringList processed;
    int resets = 0;
};
