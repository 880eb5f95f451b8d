#pragma once

#include <QString>

#include <array>
#include <optional>

// One of the five translation styles. The raw value is its stable identity in settings and in
// cache keys; the style changes nothing in a request but the system prompt.
class TranslationStyle
{
public:
    enum Value { standard, casual, formal, creative, technical };

    constexpr TranslationStyle(Value value = standard)
        : m_value(value)
    {}

    // The five styles in the order the settings list them.
    static constexpr std::array<TranslationStyle, 5> allCases()
    {
        return {standard, casual, formal, creative, technical};
    }
    // Exactly one of the five raw values (case-sensitive, whole string), else nothing.
    static std::optional<TranslationStyle> fromRawValue(QStringView rawValue);

    constexpr Value value() const { return m_value; }
    QString rawValue() const;
    QString title() const;
    QString description() const;
    // "Translate from <from> to <to>" followed by the style's ending; tags are inserted as given.
    QString systemPrompt(const QString &from, const QString &to) const;

    friend constexpr bool operator==(TranslationStyle, TranslationStyle) = default;

private:
    Value m_value;
};

size_t qHash(TranslationStyle style, size_t seed = 0) noexcept;
