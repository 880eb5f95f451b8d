#include "fakelanguagerecognizer.h"

void FakeLanguageRecognizer::reset()
{
    ++resets;
}

void FakeLanguageRecognizer::processString(const QString &text)
{
    processed.append(text);
}

std::optional<QString> FakeLanguageRecognizer::dominantLanguage() const
{
    return dominant;
}

QList<LanguageRecognizer::Hypothesis> FakeLanguageRecognizer::languageHypotheses(int maximum) const
{
    hypothesesMaximum = maximum;
    return hypotheses.mid(0, maximum);
}
