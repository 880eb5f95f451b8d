#pragma once

#include <QCoro/QCoroTask>
#include <QStringList>

#include <cstdio>

class KeychainHelper;
class LanguageDetector;
class TranslationService;

// quenzal-translate: translates its arguments (or standard input) with the same service, cache
// and keyring as the tray app. Only translations go to standard output; every failure goes to
// standard error with the product's own text and one of the exit codes below.
class CommandLineTranslator
{
public:
    enum ExitCode {
        success = 0,
        usageError = 2,         // bad option, unknown language or style
        detectionFailed = 3,    // --from auto and no language recognised
        translationFailed = 4,  // the service or DeepSeek refused, or the network failed
        keyringUnavailable = 5, // --set-api-key could not store the key
    };

    CommandLineTranslator(TranslationService &service, KeychainHelper &keychain,
                          LanguageDetector &detector, std::FILE *in = stdin,
                          std::FILE *out = stdout, std::FILE *err = stderr);

    // `arguments` includes the program name, as QCoreApplication::arguments() gives it.
    QCoro::Task<int> run(QStringList arguments);

private:
    QCoro::Task<int> setApiKey();
    QString readStandardInput() const;
    int fail(int code, const QString &message) const;
    void print(std::FILE *stream, const QString &text) const;

    TranslationService &m_service;
    KeychainHelper &m_keychain;
    LanguageDetector &m_detector;
    std::FILE *m_in;
    std::FILE *m_out;
    std::FILE *m_err;
};
