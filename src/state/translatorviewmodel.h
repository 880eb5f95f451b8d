#pragma once

#include "language.h"
#include "sourcetext.h"
#include "speechengine.h"
#include "translationstyle.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class LanguageDetector;
class Preferences;
class TranslationService;

// Everything the translator popover shows and edits: the two texts and languages, the
// detected language, the style, the recent languages, the busy and speaking flags and the
// error message, with the path from a keystroke to a translation and the speech output.
//
// Every property announces a change only when its value really changes; the after-set
// actions run on every assignment all the same (an equal source text still restarts the
// debounce, an equal style is still written). Construction reads the settings and writes,
// schedules and announces nothing. Lives on the GUI thread.
class TranslatorViewModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString sourceText READ sourceText WRITE setSourceText NOTIFY sourceTextChanged)
    Q_PROPERTY(QString translatedText READ translatedText WRITE setTranslatedText NOTIFY
                   translatedTextChanged)
    Q_PROPERTY(Language sourceLanguage READ sourceLanguage WRITE setSourceLanguage NOTIFY
                   sourceLanguageChanged)
    Q_PROPERTY(Language targetLanguage READ targetLanguage WRITE setTargetLanguage NOTIFY
                   targetLanguageChanged)
    Q_PROPERTY(bool isTranslating READ isTranslating NOTIFY isTranslatingChanged)
    Q_PROPERTY(bool isSpeaking READ isSpeaking NOTIFY isSpeakingChanged)
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(std::optional<Language> detectedLanguage READ detectedLanguage NOTIFY
                   detectedLanguageChanged)
    Q_PROPERTY(TranslationStyle translationStyle READ translationStyle WRITE setTranslationStyle
                   NOTIFY translationStyleChanged)
    Q_PROPERTY(QStringList recentSourceLanguages READ recentSourceLanguages NOTIFY
                   recentSourceLanguagesChanged)
    Q_PROPERTY(QStringList recentTargetLanguages READ recentTargetLanguages NOTIFY
                   recentTargetLanguagesChanged)
    Q_PROPERTY(QList<Language> sourcePillLanguages READ sourcePillLanguages NOTIFY
                   recentSourceLanguagesChanged)
    Q_PROPERTY(QList<Language> sourceMoreLanguages READ sourceMoreLanguages NOTIFY
                   recentSourceLanguagesChanged)
    Q_PROPERTY(QList<Language> targetPillLanguages READ targetPillLanguages NOTIFY
                   recentTargetLanguagesChanged)
    Q_PROPERTY(QList<Language> targetMoreLanguages READ targetMoreLanguages NOTIFY
                   recentTargetLanguagesChanged)
    Q_PROPERTY(QString sourcePlaceholder READ sourcePlaceholder NOTIFY sourceLanguageChanged)
    Q_PROPERTY(QString targetPlaceholder READ targetPlaceholder NOTIFY sourceLanguageChanged)

public:
    using SpeechEngineFactory = std::function<std::unique_ptr<SpeechEngine>()>;

    static constexpr int maxSourceLength = SourceText::maxLength; // user-perceived characters
    static constexpr int maxRecentLanguages = 5;
    static constexpr double speechRate = 0.48; // a little slower than normal (0.5)
    static constexpr double speechPitch = 1.0;
    static inline const QString textTooLongMessage = SourceText::tooLongMessage;
    static inline const QString detectionFailedMessage = QStringLiteral(
        "Could not detect language. Please type more text or select a source language.");
    // For a failure that is none of ours (it should never be seen).
    static inline const QString unexpectedFailureMessage =
        QStringLiteral("The translation failed unexpectedly.");

    // `service` and `preferences` must outlive the view model. The speech engine is made by
    // `speechEngine` on the first press of speak, since starting one takes seconds.
    TranslatorViewModel(TranslationService &service, Preferences &preferences,
                        std::unique_ptr<LanguageDetector> detector,
                        SpeechEngineFactory speechEngine, QObject *parent = nullptr);
    ~TranslatorViewModel() override;

    QString sourceText() const { return m_sourceText; }
    void setSourceText(const QString &text);
    QString translatedText() const { return m_translatedText; }
    void setTranslatedText(const QString &text);
    Language sourceLanguage() const { return m_sourceLanguage; }
    void setSourceLanguage(const Language &language);
    Language targetLanguage() const { return m_targetLanguage; }
    void setTargetLanguage(const Language &language);
    bool isTranslating() const { return m_isTranslating; }
    bool isSpeaking() const { return m_isSpeaking; }
    QString errorMessage() const { return m_errorMessage; } // empty when there is none
    std::optional<Language> detectedLanguage() const { return m_detectedLanguage; }
    TranslationStyle translationStyle() const { return m_translationStyle; }
    void setTranslationStyle(TranslationStyle style);
    QStringList recentSourceLanguages() const { return m_recentSourceLanguages; }
    QStringList recentTargetLanguages() const { return m_recentTargetLanguages; }

    // Auto, then two recent source languages, filled up in catalogue order.
    QList<Language> sourcePillLanguages() const;
    QList<Language> sourceMoreLanguages() const;
    // Three recent target languages, filled up in catalogue order.
    QList<Language> targetPillLanguages() const;
    QList<Language> targetMoreLanguages() const;

    // Hints for the empty editor and translation area, in the chosen source language.
    QString sourcePlaceholder() const;
    QString targetPlaceholder() const;

    // The debounce: one second after the last accepted edit by default.
    void setDebounceInterval(std::chrono::milliseconds interval);
    bool isDebouncePending() const { return m_debounce.isActive(); }

    // A target id that differs from `source`: `target` itself when it already does, else the
    // most recent target that does, else "en" for Russian and "ru" for anything else.
    QString resolveLanguageConflict(const QString &source, const QString &target) const;

public slots:
    // Translates the source text now. A pending debounce still fires.
    void translate();
    // Makes `text` the source, with the language detected, and translates it at once, without
    // the typing pause. A text over the limit is refused with the usual message and changes
    // nothing else; false then.
    bool translateText(const QString &text);
    // Exchanges the languages, then the texts.
    void swapLanguages();
    void toggleSpeech();
    void clear();

signals:
    void sourceTextChanged(const QString &text);
    void translatedTextChanged(const QString &text);
    void sourceLanguageChanged(const Language &language);
    void targetLanguageChanged(const Language &language);
    void isTranslatingChanged(bool translating);
    void isSpeakingChanged(bool speaking);
    void errorMessageChanged(const QString &message);
    void detectedLanguageChanged(const std::optional<Language> &language);
    void translationStyleChanged(TranslationStyle style);
    void recentSourceLanguagesChanged(const QStringList &ids);
    void recentTargetLanguagesChanged(const QStringList &ids);

private:
    enum class Side { source, target };

    void setIsTranslating(bool translating);
    void setIsSpeaking(bool speaking);
    void setErrorMessage(const QString &message);
    void setDetectedLanguage(const std::optional<Language> &language);

    void scheduleDebounce();
    void onDebounce();
    void detectLanguage();
    QCoro::Task<> runTranslation(QString text, Language from, Language to, TranslationStyle style,
                                 quint64 request);

    void didSelectLanguage(Side side, const QString &id);
    QStringList &recentList(Side side);
    void announceRecentList(Side side);

    void speak(const QString &text, const QString &language);
    std::optional<SpeechEngine::Voice> bestVoice(const QString &language) const;
    SpeechEngine *speechEngine();
    void onSpeechEngineStateChanged(SpeechEngine::State state);
    void onUtteranceEnded(quint64 utterance);

    TranslationService &m_service;
    Preferences &m_preferences;
    std::unique_ptr<LanguageDetector> m_detector;
    SpeechEngineFactory m_speechEngineFactory;
    std::unique_ptr<SpeechEngine> m_speechEngine;
    // What to say once a starting engine is ready: text and language id.
    std::optional<std::pair<QString, QString>> m_pendingSpeech;
    // The utterance that isSpeaking is about; reports of earlier ones change nothing.
    quint64 m_utterance = 0;

    QString m_sourceText;
    QString m_translatedText;
    Language m_sourceLanguage;
    Language m_targetLanguage;
    bool m_isTranslating = false;
    bool m_isSpeaking = false;
    QString m_errorMessage;
    std::optional<Language> m_detectedLanguage;
    TranslationStyle m_translationStyle;
    QStringList m_recentSourceLanguages;
    QStringList m_recentTargetLanguages;

    QTimer m_debounce;
    // Requests are numbered; only the newest one may write its outcome.
    quint64 m_latestRequest = 0;
};
