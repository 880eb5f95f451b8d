#pragma once

#include "language.h"

#include <memory>
#include <optional>

class LanguageRecognizer;

// Maps what the recogniser hears in a text onto the source catalogue: the dominant tag first,
// else the best of at most 10 hypotheses that maps. No threshold, never "auto", nothing for
// blank text. Not safe for concurrent use.
class LanguageDetector
{
public:
    explicit LanguageDetector(std::unique_ptr<LanguageRecognizer> recognizer);
    ~LanguageDetector();

    std::optional<Language> detect(const QString &text);

    // The first source-catalogue entry (never "auto") whose id equals `tag` or is a prefix of
    // it followed by "-".
    static std::optional<Language> match(QStringView tag);

private:
    std::unique_ptr<LanguageRecognizer> m_recognizer;
};
