#include "translatorviewmodel.h"

#include "languagedetector.h"
#include "preferences.h"
#include "quenzalerror.h"
#include "sourcetext.h"
#include "translationservice.h"

#include <QLocale>
#include <QPointer>
#include <QScopeGuard>

namespace {

bool hasPill(const QList<Language> &pills, const QString &id)
{
    return std::any_of(pills.cbegin(), pills.cend(),
                       [&](const Language &pill) { return pill.id == id; });
}

QList<Language> moreLanguages(const QList<Language> &catalogue, const QList<Language> &pills)
{
    QList<Language> more;
    more.reserve(catalogue.size());
    for (const Language &language : catalogue) {
        if (!hasPill(pills, language.id)) {
            more.append(language);
        }
    }
    return more;
}

// An id that is not in the catalogue adds nothing; nor does one that a stored list (not one
// we wrote) holds twice.
void appendPill(QList<Language> &pills, const QList<Language> &catalogue, const QString &id)
{
    if (hasPill(pills, id)) {
        return;
    }
    if (const std::optional<Language> language = Language::find(catalogue, id)) {
        pills.append(*language);
    }
}

// Fills `pills` up to three in catalogue order with languages that are not pills yet.
void fillPills(QList<Language> &pills, const QList<Language> &catalogue)
{
    for (const Language &language : catalogue) {
        if (pills.size() >= 3) {
            return;
        }
        if (!language.isAuto() && !hasPill(pills, language.id)) {
            pills.append(language);
        }
    }
}

struct Placeholders
{
    const char *key;
    const char *source;
    const char *target;
};

// "auto" reads as English. Both Chinese ids have their own pair, in their own script.
constexpr Placeholders placeholders[] = {
    {"ru", "Введите текст для перевода...", "Перевод появится здесь"},
    {"tr", "Çeviri için metin girin...", "Çeviri burada görünecek"},
    {"de", "Text zum Übersetzen eingeben...", "Übersetzung erscheint hier"},
    {"fr", "Entrez le texte à traduire...", "La traduction apparaîtra ici"},
    {"es", "Ingrese texto para traducir...", "La traducción aparecerá aquí"},
    {"ja", "翻訳するテキストを入力...", "翻訳はここに表示されます"},
    {"ko", "번역할 텍스트를 입력하세요...", "번역이 여기에 표시됩니다"},
    {"it", "Inserisci il testo da tradurre...", "La traduzione apparirà qui"},
    {"pt", "Digite o texto para traduzir...", "A tradução aparecerá aqui"},
    {"ar", "...أدخل النص للترجمة", "ستظهر الترجمة هنا"},
    {"zh-Hans", "输入要翻译的文本...", "翻译将显示在这里"},
    {"zh-Hant", "輸入要翻譯的文本...", "翻譯將顯示在這裡"},
};
constexpr Placeholders englishPlaceholders = {"en", "Enter text for translate...",
                                              "Translation will appear here"};

const Placeholders &placeholdersFor(const QString &id)
{
    for (const Placeholders &entry : placeholders) {
        if (id == QLatin1String(entry.key)) {
            return entry;
        }
    }
    return englishPlaceholders;
}

} // namespace

TranslatorViewModel::TranslatorViewModel(TranslationService &service, Preferences &preferences,
                                         std::unique_ptr<LanguageDetector> detector,
                                         SpeechEngineFactory speechEngine, QObject *parent)
    : QObject(parent)
    , m_service(service)
    , m_preferences(preferences)
    , m_detector(std::move(detector))
    , m_speechEngineFactory(std::move(speechEngine))
    , m_sourceLanguage(Language::autoDetect())
    , m_targetLanguage(Language::english())
    , m_translationStyle(preferences.translationStyle())
    , m_recentSourceLanguages(preferences.recentSourceLanguages())
    , m_recentTargetLanguages(preferences.recentTargetLanguages())
{
    m_debounce.setSingleShot(true);
    m_debounce.setInterval(std::chrono::seconds(1));
    connect(&m_debounce, &QTimer::timeout, this, &TranslatorViewModel::onDebounce);
}

TranslatorViewModel::~TranslatorViewModel() = default;

void TranslatorViewModel::setSourceText(const QString &text)
{
    if (SourceText::isTooLong(text) && !SourceText::isTooLong(m_sourceText)) {
        // Refused before anyone sees it; the editor that offered it is told to show what stays.
        emit sourceTextChanged(m_sourceText);
        setErrorMessage(textTooLongMessage);
        return;
    }
    if (text != m_sourceText) {
        m_sourceText = text;
        emit sourceTextChanged(m_sourceText);
    }
    setErrorMessage(QString());
    scheduleDebounce();
}

void TranslatorViewModel::setTranslatedText(const QString &text)
{
    if (text != m_translatedText) {
        m_translatedText = text;
        emit translatedTextChanged(m_translatedText);
    }
}

void TranslatorViewModel::setSourceLanguage(const Language &language)
{
    const QString previousId = m_sourceLanguage.id;
    if (language != m_sourceLanguage) {
        m_sourceLanguage = language;
        emit sourceLanguageChanged(m_sourceLanguage);
    }
    if (language.id != previousId) {
        didSelectLanguage(Side::source, language.id);
    }
}

void TranslatorViewModel::setTargetLanguage(const Language &language)
{
    const QString previousId = m_targetLanguage.id;
    if (language != m_targetLanguage) {
        m_targetLanguage = language;
        emit targetLanguageChanged(m_targetLanguage);
    }
    if (language.id != previousId) {
        didSelectLanguage(Side::target, language.id);
    }
}

void TranslatorViewModel::setTranslationStyle(TranslationStyle style)
{
    if (style != m_translationStyle) {
        m_translationStyle = style;
        emit translationStyleChanged(m_translationStyle);
    }
    m_preferences.setTranslationStyle(style);
}

void TranslatorViewModel::setIsTranslating(bool translating)
{
    if (translating != m_isTranslating) {
        m_isTranslating = translating;
        emit isTranslatingChanged(m_isTranslating);
    }
}

void TranslatorViewModel::setIsSpeaking(bool speaking)
{
    if (speaking != m_isSpeaking) {
        m_isSpeaking = speaking;
        emit isSpeakingChanged(m_isSpeaking);
    }
}

void TranslatorViewModel::setErrorMessage(const QString &message)
{
    if (message != m_errorMessage) {
        m_errorMessage = message;
        emit errorMessageChanged(m_errorMessage);
    }
}

void TranslatorViewModel::setDetectedLanguage(const std::optional<Language> &language)
{
    if (language != m_detectedLanguage) {
        m_detectedLanguage = language;
        emit detectedLanguageChanged(m_detectedLanguage);
    }
}

void TranslatorViewModel::setDebounceInterval(std::chrono::milliseconds interval)
{
    m_debounce.setInterval(interval);
}

void TranslatorViewModel::scheduleDebounce()
{
    detectLanguage();
    m_debounce.start();
}

void TranslatorViewModel::onDebounce()
{
    if (m_sourceText.isEmpty()) {
        setTranslatedText(QString());
    } else {
        translate();
    }
}

void TranslatorViewModel::detectLanguage()
{
    if (!m_sourceLanguage.isAuto()) {
        return;
    }
    std::optional<Language> detected;
    try {
        detected = m_detector->detect(m_sourceText);
    } catch (...) {
        // A recogniser that fails is a recogniser that recognised nothing.
    }
    setDetectedLanguage(detected);
}

void TranslatorViewModel::translate()
{
    if (m_sourceText.trimmed().isEmpty()) {
        setTranslatedText(QString());
        return;
    }
    const bool autoSource = m_sourceLanguage.isAuto();
    const QString sourceId =
        autoSource && m_detectedLanguage ? m_detectedLanguage->id : m_sourceLanguage.id;
    const QString targetId = resolveLanguageConflict(sourceId, m_targetLanguage.id);
    if (targetId != m_targetLanguage.id) {
        if (const std::optional<Language> target =
                Language::find(Language::targetLanguages(), targetId)) {
            setTargetLanguage(*target);
        }
    }
    if (autoSource && !m_detectedLanguage) {
        setErrorMessage(detectionFailedMessage);
        return;
    }
    setIsTranslating(true);
    setErrorMessage(QString());
    // Not awaited by anyone: it catches every failure itself and always ends the busy state.
    runTranslation(m_sourceText, autoSource ? *m_detectedLanguage : m_sourceLanguage,
                   m_targetLanguage, m_translationStyle, ++m_latestRequest);
}

bool TranslatorViewModel::translateText(const QString &text)
{
    if (SourceText::isTooLong(text)) {
        setErrorMessage(textTooLongMessage);
        return false;
    }
    setSourceLanguage(Language::autoDetect());
    setSourceText(text);
    m_debounce.stop();
    translate();
    return true;
}

QCoro::Task<> TranslatorViewModel::runTranslation(QString text, Language from, Language to,
                                                  TranslationStyle style, quint64 request)
{
    const QPointer<TranslatorViewModel> self(this);
    // The newest request wins: an older one finishing late must not overwrite its result, nor
    // end the busy state while the newest is still on its way. Whatever happens, the newest
    // one ends it.
    const auto done = qScopeGuard([self, request] {
        if (self && request == self->m_latestRequest) {
            self->setIsTranslating(false);
        }
    });
    std::optional<QString> translation;
    QString error;
    try {
        translation = co_await m_service.translate(text, from, to, style);
    } catch (const QuenzalError &failure) {
        error = failure.description();
    } catch (...) {
        // Nothing escapes: the task runs unattended (see translate()).
        error = unexpectedFailureMessage;
    }
    if (!self || request != m_latestRequest) {
        co_return;
    }
    if (translation) {
        setTranslatedText(*translation);
    } else {
        setErrorMessage(error);
    }
}

QString TranslatorViewModel::resolveLanguageConflict(const QString &source,
                                                     const QString &target) const
{
    if (source != target) {
        return target;
    }
    // A stored list may name languages that are no longer offered: those are passed over.
    for (const QString &id : m_recentTargetLanguages) {
        if (id != source && Language::find(Language::targetLanguages(), id)) {
            return id;
        }
    }
    return source == QLatin1String("ru") ? QStringLiteral("en") : QStringLiteral("ru");
}

QList<Language> TranslatorViewModel::sourcePillLanguages() const
{
    QList<Language> pills{Language::autoDetect()};
    int taken = 0;
    for (const QString &id : m_recentSourceLanguages) {
        if (id == QLatin1String("auto")) {
            continue;
        }
        if (taken++ == 2) {
            break;
        }
        appendPill(pills, Language::sourceLanguages(), id);
    }
    fillPills(pills, Language::sourceLanguages());
    return pills;
}

QList<Language> TranslatorViewModel::sourceMoreLanguages() const
{
    return moreLanguages(Language::sourceLanguages(), sourcePillLanguages());
}

QList<Language> TranslatorViewModel::targetPillLanguages() const
{
    QList<Language> pills;
    for (const QString &id : m_recentTargetLanguages.mid(0, 3)) {
        appendPill(pills, Language::targetLanguages(), id);
    }
    fillPills(pills, Language::targetLanguages());
    return pills;
}

QList<Language> TranslatorViewModel::targetMoreLanguages() const
{
    return moreLanguages(Language::targetLanguages(), targetPillLanguages());
}

QStringList &TranslatorViewModel::recentList(Side side)
{
    return side == Side::source ? m_recentSourceLanguages : m_recentTargetLanguages;
}

void TranslatorViewModel::announceRecentList(Side side)
{
    if (side == Side::source) {
        emit recentSourceLanguagesChanged(m_recentSourceLanguages);
    } else {
        emit recentTargetLanguagesChanged(m_recentTargetLanguages);
    }
}

void TranslatorViewModel::didSelectLanguage(Side side, const QString &id)
{
    // Choosing a language that is already a pill never reorders the pills.
    const QList<Language> pills =
        side == Side::source ? sourcePillLanguages() : targetPillLanguages();
    if (hasPill(pills, id)) {
        return;
    }
    QStringList &recent = recentList(side);
    if (recent.removeAll(id) > 0) {
        announceRecentList(side);
    }
    recent.prepend(id);
    announceRecentList(side);
    if (recent.size() > maxRecentLanguages) {
        recent.removeLast();
        announceRecentList(side);
    }
    if (side == Side::source) {
        m_preferences.setRecentSourceLanguages(recent);
    } else {
        m_preferences.setRecentTargetLanguages(recent);
    }
}

void TranslatorViewModel::swapLanguages()
{
    // A real exchange: what was read becomes what is written and the other way round. An
    // automatic source stands for the language detected in it, or English when none was. A
    // translation too long to be a source refuses the whole exchange, so that nothing is lost.
    if (SourceText::isTooLong(m_translatedText)) {
        setErrorMessage(textTooLongMessage);
        return;
    }
    const Language formerSource = m_sourceLanguage.isAuto()
                                      ? m_detectedLanguage.value_or(Language::english())
                                      : m_sourceLanguage;
    const Language formerTarget = m_targetLanguage;
    setSourceLanguage(formerTarget);
    setTargetLanguage(
        Language::find(Language::targetLanguages(), formerSource.id).value_or(Language::english()));

    const QString formerSourceText = m_sourceText;
    setSourceText(m_translatedText);
    setTranslatedText(formerSourceText);
}

void TranslatorViewModel::clear()
{
    setSourceText(QString());
    setTranslatedText(QString());
    setDetectedLanguage(std::nullopt);
}

QString TranslatorViewModel::sourcePlaceholder() const
{
    return QString::fromUtf8(placeholdersFor(m_sourceLanguage.id).source);
}

QString TranslatorViewModel::targetPlaceholder() const
{
    return QString::fromUtf8(placeholdersFor(m_sourceLanguage.id).target);
}

void TranslatorViewModel::toggleSpeech()
{
    if (m_isSpeaking) {
        m_pendingSpeech.reset();
        if (m_speechEngine) {
            m_speechEngine->stop();
        }
        setIsSpeaking(false);
        return;
    }
    speak(m_translatedText, m_targetLanguage.id);
}

SpeechEngine *TranslatorViewModel::speechEngine()
{
    if (!m_speechEngine && m_speechEngineFactory) {
        m_speechEngine = m_speechEngineFactory();
        if (m_speechEngine) {
            // The engine reports from threads of its own; these connections bring the reports
            // back to this object's thread before anything is touched.
            connect(m_speechEngine.get(), &SpeechEngine::stateChanged, this,
                    &TranslatorViewModel::onSpeechEngineStateChanged, Qt::QueuedConnection);
            connect(m_speechEngine.get(), &SpeechEngine::finished, this,
                    &TranslatorViewModel::onUtteranceEnded, Qt::QueuedConnection);
            connect(m_speechEngine.get(), &SpeechEngine::cancelled, this,
                    &TranslatorViewModel::onUtteranceEnded, Qt::QueuedConnection);
        }
    }
    return m_speechEngine.get();
}

void TranslatorViewModel::speak(const QString &text, const QString &language)
{
    if (text.isEmpty()) {
        return;
    }
    SpeechEngine *engine = speechEngine();
    if (!engine || engine->state() == SpeechEngine::State::unavailable) {
        return;
    }
    engine->stop();
    ++m_utterance;
    setIsSpeaking(true);
    if (engine->state() == SpeechEngine::State::starting) {
        m_pendingSpeech.emplace(text, language);
        return;
    }
    engine->speak(m_utterance, text, bestVoice(language), speechRate, speechPitch);
}

void TranslatorViewModel::onUtteranceEnded(quint64 utterance)
{
    if (utterance == m_utterance) {
        setIsSpeaking(false);
    }
}

void TranslatorViewModel::onSpeechEngineStateChanged(SpeechEngine::State state)
{
    if (!m_pendingSpeech || state == SpeechEngine::State::starting) {
        return;
    }
    const auto [text, language] = *std::exchange(m_pendingSpeech, std::nullopt);
    if (state == SpeechEngine::State::ready && m_isSpeaking) {
        m_speechEngine->speak(m_utterance, text, bestVoice(language), speechRate, speechPitch);
    } else {
        setIsSpeaking(false);
    }
}

std::optional<SpeechEngine::Voice> TranslatorViewModel::bestVoice(const QString &language) const
{
    // The language part of a voice's tag must be the same language: "fi" is not "fil", and
    // Norwegian voices are tagged "nb" (Bokmål), as QLocale knows.
    const QString base = language.section(QLatin1Char('-'), 0, 0);
    const QLocale locale(language);
    const QString localeBase =
        locale.language() == QLocale::C ? QString() : QLocale::languageToCode(locale.language());
    std::optional<SpeechEngine::Voice> first;
    for (const SpeechEngine::Voice &voice : m_speechEngine->voices()) {
        const QString voiceBase = voice.language.section(QLatin1Char('-'), 0, 0);
        if (voiceBase.compare(base, Qt::CaseInsensitive) != 0 &&
            (localeBase.isEmpty() || voiceBase.compare(localeBase, Qt::CaseInsensitive) != 0)) {
            continue;
        }
        if (voice.quality != SpeechEngine::Quality::standard) {
            return voice;
        }
        if (!first) {
            first = voice;
        }
    }
    return first ? first : m_speechEngine->voiceForLanguage(language);
}
