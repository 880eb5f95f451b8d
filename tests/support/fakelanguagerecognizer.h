#pragma once

#include "languagerecognizer.h"

#include <QStringList>

// Answers what the test scripts, and records what it was asked.
class FakeLanguageRecognizer : public LanguageRecognizer
{
public:
    void reset() override;
    void processString(const QString &text) override;
    std::optional<QString> dominantLanguage() const override;
    QList<Hypothesis> languageHypotheses(int maximum) const override;

    std::optional<QString> dominant;
    QList<Hypothesis> hypotheses;

    QStringList processed;
    int resets = 0;
    mutable int hypothesesMaximum = 0; // the maximum last asked for
};
