#pragma once

#include <QCoro/QCoroTask>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

class KeychainHelper;
class LanguageDetector;
class Preferences;
class SpeechRecognizer;
class TranslationService;

// quenzal-translate: translates its arguments (or standard input) with the same service, cache
// and keyring as the tray app. Only translations go to standard output; every failure goes to
// standard error with the product's own text and one of the exit codes below.
class CommandLineTranslator
{
public:
    enum ExitCode {
        success = 0,
        usageError = 2,          // bad option, unknown language or style
        detectionFailed = 3,     // --from auto and no language recognised
        translationFailed = 4,   // the service or DeepSeek refused, or the network failed
        keyringUnavailable = 5,  // --set-api-key could not store the key
        transcriptionFailed = 6, // --transcribe: no usable speech model, or recognition failed
    };

    // The recogniser of --transcribe over the model at `modelPath`, made only when asked for.
    using RecognizerFactory =
        std::function<std::unique_ptr<SpeechRecognizer>(const QString &modelPath)>;

    // The style comes from `preferences` unless --style is given, so that both translate alike.
    CommandLineTranslator(TranslationService &service, KeychainHelper &keychain,
                          LanguageDetector &detector, const Preferences &preferences,
                          RecognizerFactory makeRecognizer, QString defaultModelPath,
                          std::FILE *in = stdin, std::FILE *out = stdout, std::FILE *err = stderr);

    // `arguments` includes the program name, as QCoreApplication::arguments() gives it.
    QCoro::Task<int> run(QStringList arguments);

    // `text` as it may reach a terminal: control characters other than line breaks and tabs,
    // and the bidirectional overrides that reorder what follows them, become U+FFFD, so that
    // a translation can neither drive the terminal nor pass for other text.
    static QString forTerminal(QString text);

private:
    QCoro::Task<int> setApiKey();
    QCoro::Task<int> transcribe(const QString &wavePath, const QString &language,
                                const QString &modelPath);
    // Nothing when standard input holds more than `limit` bytes.
    std::optional<QString> readStandardInput(qsizetype limit) const;
    int fail(int code, const QString &message) const;
    void print(std::FILE *stream, const QString &text) const;

    TranslationService &m_service;
    KeychainHelper &m_keychain;
    LanguageDetector &m_detector;
    const Preferences &m_preferences;
    RecognizerFactory m_makeRecognizer;
    QString m_defaultModelPath;
    std::FILE *m_in;
    std::FILE *m_out;
    std::FILE *m_err;
};
