#include "cld2languagerecognizer.h"

// CLD2's public header uses FILE without including <cstdio> itself.
#include <cstdio>

#include <cld2/public/compact_lang_det.h>
#include <cld2/public/encodings.h>

#include <array>
#include <cstring>

namespace {

// Where CLD2's answers land in the language catalogue. Every one of the catalogue's 74
// languages has a CLD2 code; six need a second look, the other 68 are CLD2's code as it is:
//
//   catalogue  CLD2 code   CLD2 language
//   he         iw          HEBREW        withdrawn ISO 639 code, translated below
//   fil        tl          TAGALOG       translated below
//   zh-Hans    zh          CHINESE       translated below
//   zh-Hant    zh-Hant     CHINESE_T     already the catalogue's tag
//   no         no          NORWEGIAN     Bokmål; CLD2 never answers "nb"
//              nn          NORWEGIAN_N   Nynorsk, translated below ("nn" would not match "no")
//   sr         sr          SERBIAN       Cyrillic and Latin script
//              sr-ME       MONTENEGRIN   left as is: "sr-ME" already matches "sr" by prefix
//
//   unchanged: en es hi ar fr bn pt ru ja de ko tr vi it th pl uk nl ro el cs sv hu fi da id ms
//              ca hr sk lt lv et sl bg fa ur sw ta te kn ml mr gu pa am my km lo ka hy az kk
//              uz ne si is sq mk bs cy ga eu gl af zu ha yo
//
// What CLD2 tells apart, as measured on our test sentences with the full tables:
// - Zulu, Hausa and Yoruba are recognised only by the full tables; the default ones call them
//   Ganda, Tagalog and Irish.
// - Bosnian, Croatian and Latin-script Serbian are one family to CLD2 and it picks among them
//   unreliably (even on whole sentences). Serbian in Cyrillic is reliable, although Bulgarian
//   is now and then taken for it.
// - Malay and Indonesian, Danish and Norwegian, Spanish, Galician and Portuguese (European and
//   Brazilian, both "pt") are told apart well on sentences.
// - One or two words are guesswork even in best-effort mode: "你好" comes out as zh-Hant (its
//   characters are shared by both scripts), "中国" as Japanese, "Merci beaucoup" as English.

struct CodeTranslation
{
    const char *cld2Code;
    const char *tag;
};

constexpr std::array kTranslations{
    CodeTranslation{"iw", "he"},      // CLD2 still uses the withdrawn ISO 639 code for Hebrew
    CodeTranslation{"jw", "jv"},      // ... and for Javanese
    CodeTranslation{"tl", "fil"},     // the catalogue offers Tagalog as Filipino
    CodeTranslation{"zh", "zh-Hans"}, // CLD2's plain "zh" is the simplified script
    CodeTranslation{"nn", "no"},      // the catalogue has one Norwegian; "nn" would not match it
};

bool isUnknown(CLD2::Language language)
{
    return language == CLD2::UNKNOWN_LANGUAGE || language == CLD2::TG_UNKNOWN_LANGUAGE;
}

// CLD2 takes interchange-valid UTF-8 only and answers nothing at all for a text with anything
// else in it, a NUL or a stray control character at the very end included. Those become spaces,
// which CLD2 skips like any other.
QByteArray interchangeValidUtf8(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            if (QChar::isNonCharacter(QChar::surrogateToUcs4(c, text.at(i + 1)))) {
                text[i] = text[i + 1] = QLatin1Char(' ');
            }
            ++i;
            continue;
        }
        const char16_t u = c.unicode();
        const bool blank = u == u'\t' || u == u'\n' || u == u'\r' || u == u'\f';
        if ((c.category() == QChar::Other_Control && !blank) || c.isSurrogate() ||
            c.isNonCharacter()) {
            text[i] = QLatin1Char(' ');
        }
    }
    return text.toUtf8();
}

QString catalogueTag(CLD2::Language language)
{
    const char *code = CLD2::LanguageCode(language);
    for (const CodeTranslation &translation : kTranslations) {
        if (std::strcmp(code, translation.cld2Code) == 0) {
            return QString::fromLatin1(translation.tag);
        }
    }
    return QString::fromLatin1(code);
}

} // namespace

void Cld2LanguageRecognizer::reset()
{
    m_dominant.reset();
    m_hypotheses.clear();
}

void Cld2LanguageRecognizer::processString(const QString &text)
{
    reset();
    const QByteArray utf8 = interchangeValidUtf8(text);
    if (utf8.isEmpty()) {
        return;
    }

    const CLD2::CLDHints noHints{nullptr, nullptr, CLD2::UNKNOWN_ENCODING, CLD2::UNKNOWN_LANGUAGE};
    std::array<CLD2::Language, 3> languages;
    // Left as they are when CLD2 refuses the text; zero would be English.
    languages.fill(CLD2::UNKNOWN_LANGUAGE);
    std::array<int, 3> percents{};
    std::array<double, 3> normalizedScores{};
    int textBytes = 0;
    bool reliable = false;
    int validPrefixBytes = 0;
    // Without best effort CLD2 declines anything shorter than a sentence or two, which is most
    // of what gets typed into the translator.
    const CLD2::Language dominant = CLD2::ExtDetectLanguageSummaryCheckUTF8(
        utf8.constData(), int(utf8.size()), /*is_plain_text=*/true, &noHints,
        CLD2::kCLDFlagBestEffort, languages.data(), percents.data(), normalizedScores.data(),
        /*resultchunkvector=*/nullptr, &textBytes, &reliable, &validPrefixBytes);

    if (!isUnknown(dominant)) {
        m_dominant = catalogueTag(dominant);
    }
    for (std::size_t i = 0; i < languages.size(); ++i) {
        if (!isUnknown(languages[i])) {
            m_hypotheses.append({catalogueTag(languages[i]), percents[i] / 100.0});
        }
    }
}

std::optional<QString> Cld2LanguageRecognizer::dominantLanguage() const
{
    return m_dominant;
}

QList<LanguageRecognizer::Hypothesis> Cld2LanguageRecognizer::languageHypotheses(int maximum) const
{
    return m_hypotheses.first(qBound(0, maximum, int(m_hypotheses.size())));
}
