#pragma once

#include "language.h"
#include "translationstyle.h"

#include <QCoro/QCoroTask>

class DeepSeekService;
class TranslationCache;

// The single way to obtain a translation: trims and validates the request, answers from the
// cache when it can, otherwise asks DeepSeek and stores the answer. Errors pass through
// unchanged; nothing is retried and nothing falls back to the cache after a failure.
class TranslationService
{
public:
    TranslationService(TranslationCache &cache, DeepSeekService &deepSeek);

    // Blank text gives "" at once. An "auto" source throws TranslationError::invalidLanguage,
    // equal tags TranslationError::apiError("Source and target languages must be different").
    QCoro::Task<QString> translate(QString text, Language from, Language to,
                                   TranslationStyle style);

    // The cache key of a request whose text is already trimmed.
    static QString cacheKey(const QString &trimmedText, const Language &from, const Language &to,
                            TranslationStyle style);

private:
    TranslationCache &m_cache;
    DeepSeekService &m_deepSeek;
};
