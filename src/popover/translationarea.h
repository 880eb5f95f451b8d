#pragma once

#include <QWidget>

class ActivityIndicator;
class OverlayScrollBar;
class QLabel;
class QScrollArea;
class QStackedLayout;

// The right-hand column of the translator. It shows one thing at a time, the first that
// applies: the spinner while a translation runs, the error of the last one, the placeholder
// while there is no translation, or the translation itself, selectable and scrolling.
class TranslationArea : public QWidget
{
    Q_OBJECT

public:
    enum class State { translating, error, placeholder, translation };

    struct Content
    {
        bool isTranslating = false;
        QString errorMessage;
        QString translatedText;
        QString placeholder;
        bool rightToLeft = false; // the translation's language is written right to left
    };

    static constexpr int textSize = 17;
    static constexpr int smallTextSize = 12;
    static constexpr int maxErrorLines = 3;

    explicit TranslationArea(QWidget *parent = nullptr);

    void setContent(const Content &content);
    State state() const { return m_state; }
    // What the visible labels say, for tests and accessibility.
    QString shownText() const;

protected:
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *makeTranslatingPage();
    QWidget *makeErrorPage();
    QWidget *makeResultPage();
    void restyle();

    State m_state = State::placeholder;
    QStackedLayout *m_pages;
    ActivityIndicator *m_spinner = nullptr;
    QLabel *m_translatingLabel = nullptr;
    QLabel *m_warningGlyph = nullptr;
    QLabel *m_errorTitle = nullptr;
    QLabel *m_errorMessage = nullptr;
    QLabel *m_placeholder = nullptr;
    QScrollArea *m_scrollArea = nullptr;
    QLabel *m_translation = nullptr;
    OverlayScrollBar *m_scrollIndicator = nullptr;
};
