#include "commandlinetranslator.h"

#include "deepseekservice.h"
#include "keychainhelper.h"
#include "language.h"
#include "languagedetector.h"
#include "preferences.h"
#include "quenzalerror.h"
#include "sourcetext.h"
#include "speechrecognizer.h"
#include "translationservice.h"
#include "translationstyle.h"
#include "wavefile.h"

#include <QCommandLineParser>

#include <unistd.h>

namespace {

const char *const helpText =
    "Translates TEXT (or standard input when no TEXT is given) with DeepSeek, like the\n"
    "Parlora - Quenzal tray app, and prints only the translation.\n"
    "\n"
    "With --transcribe, prints the speech recognised in a 16 kHz mono 16-bit PCM WAV file "
    "instead.\n"
    "\n"
    "Exit status: 0 success, 2 usage error, 3 language not detected, 4 translation failed,\n"
    "5 keyring unavailable (--set-api-key), 6 speech recognition failed (--transcribe).";

QStringList styleNames()
{
    QStringList names;
    for (TranslationStyle style : TranslationStyle::allCases()) {
        names.append(style.rawValue());
    }
    return names;
}

} // namespace

CommandLineTranslator::CommandLineTranslator(TranslationService &service, KeychainHelper &keychain,
                                             LanguageDetector &detector,
                                             const Preferences &preferences,
                                             RecognizerFactory makeRecognizer,
                                             QString defaultModelPath, std::FILE *in,
                                             std::FILE *out, std::FILE *err)
    : m_service(service)
    , m_keychain(keychain)
    , m_detector(detector)
    , m_preferences(preferences)
    , m_makeRecognizer(std::move(makeRecognizer))
    , m_defaultModelPath(std::move(defaultModelPath))
    , m_in(in)
    , m_out(out)
    , m_err(err)
{}

QCoro::Task<int> CommandLineTranslator::run(QStringList arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(helpText));
    const QCommandLineOption fromOption(QStringLiteral("from"),
                                        QStringLiteral("Source language id, or auto to detect it."),
                                        QStringLiteral("TAG"), QStringLiteral("auto"));
    const QCommandLineOption toOption(QStringLiteral("to"),
                                      QStringLiteral("Target language id (default: en)."),
                                      QStringLiteral("TAG"), QStringLiteral("en"));
    const QCommandLineOption styleOption(
        QStringLiteral("style"),
        QStringLiteral("Translation style: %1 (default: the app's setting, else standard).")
            .arg(styleNames().join(QStringLiteral(", "))),
        QStringLiteral("STYLE"));
    const QCommandLineOption listOption(QStringLiteral("list-languages"),
                                        QStringLiteral("Print the language ids and names."));
    const QCommandLineOption detectOption(
        QStringLiteral("detect"), QStringLiteral("Print the id of the language of the text."));
    const QCommandLineOption setKeyOption(
        QStringLiteral("set-api-key"),
        QStringLiteral("Read a DeepSeek API key from standard input and store it in the "
                       "keyring."));
    const QCommandLineOption transcribeOption(
        QStringLiteral("transcribe"),
        QStringLiteral("Print the speech in FILE (16 kHz mono 16-bit PCM WAV); --from names its "
                       "language."),
        QStringLiteral("FILE"));
    const QCommandLineOption modelOption(
        QStringLiteral("model"),
        QStringLiteral("Speech model for --transcribe (default: %1).").arg(m_defaultModelPath),
        QStringLiteral("PATH"), m_defaultModelPath);
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show this help."));
    parser.addOptions({fromOption, toOption, styleOption, listOption, detectOption, setKeyOption,
                       transcribeOption, modelOption, helpOption});
    parser.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("The text to translate."),
                                 QStringLiteral("[TEXT...]"));

    if (!parser.parse(arguments)) {
        co_return fail(usageError, parser.errorText());
    }
    if (parser.isSet(helpOption)) {
        print(m_out, parser.helpText());
        co_return success;
    }
    if (parser.isSet(listOption)) {
        for (const Language &language : Language::targetLanguages()) {
            print(m_out, language.id + QLatin1Char('\t') + language.name + QLatin1Char('\n'));
        }
        co_return success;
    }
    if (parser.isSet(setKeyOption)) {
        co_return co_await setApiKey();
    }

    const QString fromId = parser.value(fromOption);
    std::optional<Language> from = Language::find(Language::sourceLanguages(), fromId);
    if (!from) {
        co_return fail(usageError, QStringLiteral("Unknown source language \"%1\" (see "
                                                  "--list-languages)")
                                       .arg(fromId));
    }
    if (parser.isSet(transcribeOption)) {
        co_return co_await transcribe(parser.value(transcribeOption), from->id,
                                      parser.value(modelOption));
    }
    const QString toId = parser.value(toOption);
    const std::optional<Language> to = Language::find(Language::targetLanguages(), toId);
    if (!to) {
        co_return fail(usageError, QStringLiteral("Unknown target language \"%1\" (see "
                                                  "--list-languages)")
                                       .arg(toId));
    }
    TranslationStyle style = m_preferences.translationStyle();
    if (parser.isSet(styleOption)) {
        const std::optional<TranslationStyle> chosen =
            TranslationStyle::fromRawValue(parser.value(styleOption));
        if (!chosen) {
            co_return fail(usageError, QStringLiteral("Unknown style \"%1\" (one of: %2)")
                                           .arg(parser.value(styleOption),
                                                styleNames().join(QStringLiteral(", "))));
        }
        style = *chosen;
    }

    const QStringList words = parser.positionalArguments();
    // Three bytes of UTF-8 at most for each UTF-16 unit: more than this is too long unread.
    const std::optional<QString> input = words.isEmpty()
                                             ? readStandardInput(3 * SourceText::maxUnits)
                                             : words.join(QLatin1Char(' '));
    if (!input || SourceText::isTooLong(*input)) {
        co_return fail(usageError, SourceText::tooLongMessage);
    }
    const QString &text = *input;
    if (text.trimmed().isEmpty()) {
        co_return parser.isSet(detectOption) ? fail(usageError, QStringLiteral("No text given"))
                                             : success;
    }

    if (from->isAuto() || parser.isSet(detectOption)) {
        from = m_detector.detect(text);
        if (!from) {
            co_return fail(detectionFailed,
                           QStringLiteral("Could not detect language. Please type more text or "
                                          "select a source language."));
        }
        if (parser.isSet(detectOption)) {
            print(m_out, from->id + QLatin1Char('\n'));
            co_return success;
        }
    }

    try {
        const QString translation = co_await m_service.translate(text, *from, *to, style);
        print(m_out, translation + QLatin1Char('\n'));
        co_return success;
    } catch (const QuenzalError &error) {
        co_return fail(translationFailed, error.description());
    } catch (...) {
        co_return fail(translationFailed, QStringLiteral("The translation failed unexpectedly"));
    }
}

QCoro::Task<int> CommandLineTranslator::setApiKey()
{
    // Some room for the blanks and line breaks a paste brings along.
    const std::optional<QString> input = readStandardInput(4 * DeepSeekService::maxApiKeyLength);
    const QString key = input.value_or(QString()).trimmed();
    if (input && key.isEmpty()) {
        co_return fail(usageError, QStringLiteral("No API key on standard input"));
    }
    if (!input || !DeepSeekService::isSendableApiKey(key)) {
        co_return fail(usageError, QStringLiteral("An API key is one line of at most 1024 visible "
                                                  "ASCII characters; nothing was stored"));
    }
    if (!co_await m_keychain.save(key, KeychainHelper::deepSeekApiKeyName)) {
        co_return fail(keyringUnavailable,
                       QStringLiteral("No keyring available: the key cannot be stored"));
    }
    print(m_err, QStringLiteral("DeepSeek API key stored in the keyring.\n"));
    co_return success;
}

QCoro::Task<int> CommandLineTranslator::transcribe(const QString &wavePath, const QString &language,
                                                   const QString &modelPath)
{
    WaveFile wave = WaveFile::read16kMono(wavePath);
    if (!wave.problem.isEmpty()) {
        co_return fail(usageError, wave.problem);
    }
    try {
        const std::unique_ptr<SpeechRecognizer> recognizer = m_makeRecognizer(modelPath);
        const QString text = co_await recognizer->transcribe(std::move(wave.samples), language);
        if (!text.isEmpty()) {
            print(m_out, text + QLatin1Char('\n'));
        }
        co_return success;
    } catch (const QuenzalError &error) {
        co_return fail(transcriptionFailed, error.description());
    }
}

std::optional<QString> CommandLineTranslator::readStandardInput(qsizetype limit) const
{
    QByteArray bytes;
    char buffer[65536];
    while (const size_t n = std::fread(buffer, 1, sizeof buffer, m_in)) {
        bytes.append(buffer, qsizetype(n));
        if (bytes.size() > limit) {
            return std::nullopt;
        }
    }
    return QString::fromUtf8(bytes);
}

QString CommandLineTranslator::forTerminal(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        const bool control = (u < 0x20 && u != u'\n' && u != u'\t') || (u >= 0x7f && u <= 0x9f);
        const bool reorders = (u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069);
        if (control || reorders) {
            c = QChar::ReplacementCharacter;
        }
    }
    return text;
}

int CommandLineTranslator::fail(int code, const QString &message) const
{
    print(m_err, QStringLiteral("quenzal-translate: ") + message + QLatin1Char('\n'));
    return code;
}

void CommandLineTranslator::print(std::FILE *stream, const QString &text) const
{
    const QByteArray bytes = (isatty(fileno(stream)) ? forTerminal(text) : text).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}
