#include "translationstyle.h"

#include <QHashFunctions>

namespace {

struct StyleTexts
{
    const char *rawValue;
    const char *description;
    const char *promptEnding;
};

constexpr StyleTexts texts[] = {
    {"standard", "Accurate, neutral", ". Reply with translation only."},
    {"casual", "Informal, conversational",
     " in casual, conversational style. Reply with translation only."},
    {"formal", "Business, professional",
     " in formal, professional style. Reply with translation only."},
    {"creative", "Literary, free-form",
     " in literary, expressive style. Reply with translation only."},
    {"technical", "Technical terms preserved",
     ", preserving all technical terms exactly. Reply with translation only."},
};

} // namespace

std::optional<TranslationStyle> TranslationStyle::fromRawValue(QStringView rawValue)
{
    for (TranslationStyle style : allCases()) {
        if (rawValue == QLatin1String(texts[style.m_value].rawValue)) {
            return style;
        }
    }
    return std::nullopt;
}

QString TranslationStyle::rawValue() const
{
    return QString::fromLatin1(texts[m_value].rawValue);
}

QString TranslationStyle::title() const
{
    QString title = rawValue();
    title[0] = title[0].toUpper();
    return title;
}

QString TranslationStyle::description() const
{
    return QString::fromLatin1(texts[m_value].description);
}

QString TranslationStyle::systemPrompt(const QString &from, const QString &to) const
{
    return QStringLiteral("Translate from ") + from + QStringLiteral(" to ") + to +
           QLatin1String(texts[m_value].promptEnding);
}

size_t qHash(TranslationStyle style, size_t seed) noexcept
{
    return qHash(style.rawValue(), seed);
}
