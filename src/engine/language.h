#pragma once

#include <QList>
#include <QString>

#include <optional>

// One language of the catalogue. Stored settings keep only `id`; the translation service sends
// `bcp47`. In every catalogue entry the two are the same text.
struct Language
{
    QString id;
    QString name;
    QString bcp47;

    // The source side: "auto" (detect the language) first, then the 74 languages.
    static const QList<Language> &sourceLanguages();
    // The 74 languages in catalogue order, without "auto".
    static const QList<Language> &targetLanguages();

    static const Language &autoDetect();
    static const Language &english();

    // First entry of `languages` whose id is `id`.
    static std::optional<Language> find(const QList<Language> &languages, QStringView id);

    bool isAuto() const { return id == QLatin1String("auto"); }

    friend bool operator==(const Language &, const Language &) = default;
};

size_t qHash(const Language &language, size_t seed = 0) noexcept;
