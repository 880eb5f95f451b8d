#pragma once

#include "languagerecognizer.h"

// LanguageRecognizer on top of CLD2 (Compact Language Detector 2).
//
// CLD2 runs in best-effort mode, so even a single word yields a language rather than
// "unknown". Its codes are translated into the tags the language catalogue uses ("iw" -> "he",
// "tl" -> "fil", "zh" -> "zh-Hans", "nn" -> "no"); codes without a catalogue counterpart pass
// through unchanged. Hypotheses are CLD2's top three languages with their share of the text.
class Cld2LanguageRecognizer final : public LanguageRecognizer
{
public:
    void reset() override;
    void processString(const QString &text) override;
    std::optional<QString> dominantLanguage() const override;
    QList<Hypothesis> languageHypotheses(int maximum) const override;

private:
    std::optional<QString> m_dominant;
    QList<Hypothesis> m_hypotheses;
};
