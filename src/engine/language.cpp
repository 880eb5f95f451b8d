#include "language.h"

#include <QHashFunctions>

namespace {

QList<Language> makeTargetLanguages()
{
    static const char *const table[][2] = {
        {"en", "English"},
        {"zh-Hans", "Chinese (Simplified)"},
        {"zh-Hant", "Chinese (Traditional)"},
        {"es", "Spanish"},
        {"hi", "Hindi"},
        {"ar", "Arabic"},
        {"fr", "French"},
        {"bn", "Bengali"},
        {"pt", "Portuguese"},
        {"ru", "Russian"},
        {"ja", "Japanese"},
        {"de", "German"},
        {"ko", "Korean"},
        {"tr", "Turkish"},
        {"vi", "Vietnamese"},
        {"it", "Italian"},
        {"th", "Thai"},
        {"pl", "Polish"},
        {"uk", "Ukrainian"},
        {"nl", "Dutch"},
        {"ro", "Romanian"},
        {"el", "Greek"},
        {"cs", "Czech"},
        {"sv", "Swedish"},
        {"hu", "Hungarian"},
        {"fi", "Finnish"},
        {"da", "Danish"},
        {"no", "Norwegian"},
        {"he", "Hebrew"},
        {"id", "Indonesian"},
        {"ms", "Malay"},
        {"fil", "Filipino"},
        {"ca", "Catalan"},
        {"hr", "Croatian"},
        {"sk", "Slovak"},
        {"lt", "Lithuanian"},
        {"lv", "Latvian"},
        {"et", "Estonian"},
        {"sl", "Slovenian"},
        {"sr", "Serbian"},
        {"bg", "Bulgarian"},
        {"fa", "Persian"},
        {"ur", "Urdu"},
        {"sw", "Swahili"},
        {"ta", "Tamil"},
        {"te", "Telugu"},
        {"kn", "Kannada"},
        {"ml", "Malayalam"},
        {"mr", "Marathi"},
        {"gu", "Gujarati"},
        {"pa", "Punjabi"},
        {"am", "Amharic"},
        {"my", "Burmese"},
        {"km", "Khmer"},
        {"lo", "Lao"},
        {"ka", "Georgian"},
        {"hy", "Armenian"},
        {"az", "Azerbaijani"},
        {"kk", "Kazakh"},
        {"uz", "Uzbek"},
        {"ne", "Nepali"},
        {"si", "Sinhala"},
        {"is", "Icelandic"},
        {"sq", "Albanian"},
        {"mk", "Macedonian"},
        {"bs", "Bosnian"},
        {"cy", "Welsh"},
        {"ga", "Irish"},
        {"eu", "Basque"},
        {"gl", "Galician"},
        {"af", "Afrikaans"},
        {"zu", "Zulu"},
        {"ha", "Hausa"},
        {"yo", "Yoruba"},
    };
    QList<Language> languages;
    languages.reserve(std::size(table));
    for (const auto &[id, name] : table) {
        const QString tag = QString::fromLatin1(id);
        languages.append({tag, QString::fromLatin1(name), tag});
    }
    return languages;
}

} // namespace

const QList<Language> &Language::targetLanguages()
{
    static const QList<Language> languages = makeTargetLanguages();
    return languages;
}

const QList<Language> &Language::sourceLanguages()
{
    static const QList<Language> languages = [] {
        QList<Language> all{autoDetect()};
        all.append(targetLanguages());
        return all;
    }();
    return languages;
}

const Language &Language::autoDetect()
{
    static const Language language{QStringLiteral("auto"), QStringLiteral("Auto"),
                                   QStringLiteral("auto")};
    return language;
}

const Language &Language::english()
{
    return targetLanguages().first();
}

std::optional<Language> Language::find(const QList<Language> &languages, QStringView id)
{
    for (const Language &language : languages) {
        if (language.id == id) {
            return language;
        }
    }
    return std::nullopt;
}

size_t qHash(const Language &language, size_t seed) noexcept
{
    return qHashMulti(seed, language.id, language.name, language.bcp47);
}
