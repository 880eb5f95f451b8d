#include "translationservice.h"

#include "deepseekservice.h"
#include "translationcache.h"
#include "translationerror.h"

TranslationService::TranslationService(TranslationCache &cache, DeepSeekService &deepSeek)
    : m_cache(cache)
    , m_deepSeek(deepSeek)
{}

QString TranslationService::cacheKey(const QString &trimmedText, const Language &from,
                                     const Language &to, TranslationStyle style)
{
    return TranslationCache::key(trimmedText, from.bcp47,
                                 to.bcp47 + QLatin1Char(':') + style.rawValue());
}

QCoro::Task<QString> TranslationService::translate(QString text, Language from, Language to,
                                                   TranslationStyle style)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        co_return QString();
    }
    if (from.isAuto()) {
        throw TranslationError(TranslationError::invalidLanguage);
    }
    if (from.bcp47 == to.bcp47) {
        throw TranslationError(TranslationError::apiError,
                               QStringLiteral("Source and target languages must be different"));
    }
    const QString key = cacheKey(trimmed, from, to, style);
    if (std::optional<QString> cached = m_cache.get(key)) {
        co_return *cached;
    }
    const QString translation = co_await m_deepSeek.translate(trimmed, from.bcp47, to.bcp47, style);
    if (translation.isEmpty()) {
        throw TranslationError(TranslationError::emptyResult);
    }
    m_cache.set(key, translation);
    co_return translation;
}
