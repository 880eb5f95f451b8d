#pragma once

#include <QPlainTextEdit>

#include <optional>

class OverlayScrollBar;

// The editor of the text to translate: plain text over the popover's backdrop, wrapped at the
// widget's width so it never scrolls sideways, with a scroll indicator only while it scrolls
// and a caret in the system blue. Left-to-right and left-aligned, or right-to-left and
// right-aligned for a source language written that way.
//
// Its text is bound both ways to a string owned elsewhere, as the popover binds it to its view
// model:
//
//     connect(editor, &NoScrollTextEditor::textEdited, model, &TranslatorViewModel::setSourceText);
//     connect(model, &TranslatorViewModel::sourceTextChanged, editor,
//     &NoScrollTextEditor::setText); editor->setText(model->sourceText());
//
// Each edit of the user's is offered once through textEdited; whatever the owner sets while it
// decides is the answer. An owner that keeps its old text refuses the edit, which then leaves
// the editor. Text still being composed in an input method is not offered until committed.
class NoScrollTextEditor : public QPlainTextEdit
{
    Q_OBJECT

public:
    static constexpr int defaultHorizontalInset = 16;
    static constexpr int verticalInset = 8;
    static constexpr int caretWidth = 2;

    explicit NoScrollTextEditor(QWidget *parent = nullptr);

    // The text, with a line feed between paragraphs.
    QString text() const;

    int horizontalInset() const { return m_horizontalInset; }
    void setHorizontalInset(int inset);

    bool isRightToLeft() const { return m_rightToLeft; }
    void setRightToLeft(bool rightToLeft);

public slots:
    // Replaces the text when it differs from the editor's, and only then, so that the caret and
    // the selection survive the echo of the user's own edits.
    void setText(const QString &text);

signals:
    void textEdited(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    QMimeData *createMimeDataFromSelection() const override;

private:
    void onTextChanged();
    // Tells the owner about `text` and returns what it set meanwhile, if anything.
    std::optional<QString> offer(const QString &text);
    // Brings the editor to the owner's `text` after it answered an edit.
    void settle(const QString &offered, const QString &previous, std::optional<QString> answer);
    void replaceText(const QString &text);
    void recheck();
    void paintCaret(const QPaintEvent *event);

    OverlayScrollBar *m_scrollIndicator;
    int m_horizontalInset = defaultHorizontalInset;
    bool m_rightToLeft = false;
    // The owner's text as far as the editor knows: the last one offered or set.
    QString m_ownerText;
    // While an edit is offered: what the owner set meanwhile, the last one counting.
    int m_offering = 0;
    std::optional<QString> m_answer;
    bool m_replacing = false;
    bool m_recheckPending = false;
};
