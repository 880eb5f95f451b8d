#include "noscrolltexteditor.h"

#include "apptheme.h"
#include "overlayscrollbar.h"

#include <QAbstractTextDocumentLayout>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

// Paragraph and line breaks the way text() gives them back: whatever a text brings, the
// document keeps as one break, and the editor hands out as a line feed.
QString withLineFeeds(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    for (QChar &c : text) {
        switch (c.unicode()) {
        case u'\r':
        case QChar::ParagraphSeparator:
        case QChar::LineSeparator:
        case 0xfdd0: // the document's frame boundaries; it breaks the paragraph there too
        case 0xfdd1:
            c = QLatin1Char('\n');
            break;
        default:
            break;
        }
    }
    return text;
}

QString plainTextOf(const QMimeData *source)
{
    if (source->hasText()) {
        return source->text();
    }
    if (source->hasHtml()) {
        return QTextDocumentFragment::fromHtml(source->html()).toPlainText();
    }
    return {};
}

} // namespace

NoScrollTextEditor::NoScrollTextEditor(QWidget *parent)
    : QPlainTextEdit(parent)
    , m_scrollIndicator(new OverlayScrollBar(verticalScrollBar(), this))
{
    // Nothing of its own behind the text: the popover's backdrop shows through.
    setFrameShape(QFrame::NoFrame);
    setBackgroundVisible(false);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);

    document()->setDocumentMargin(0);
    setViewportMargins(m_horizontalInset, verticalInset, m_horizontalInset, verticalInset);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // A word longer than the line, a URL or a line of CJK, breaks anywhere rather than
    // widening the text.
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Qt leaves room for the caret beyond the wrapping width, and would scroll sideways by
    // those pixels to show a caret at the end of a full line: no sideways range at all.
    QScrollBar *sideways = horizontalScrollBar();
    connect(sideways, &QScrollBar::rangeChanged, this, [sideways](int minimum, int maximum) {
        if (minimum != 0 || maximum != 0) {
            sideways->setRange(0, 0);
        }
    });
    // The scroll bar keeps the range and the value; the overlay shows them while scrolling.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setCursorWidth(caretWidth);

    connect(this, &QPlainTextEdit::textChanged, this, &NoScrollTextEditor::onTextChanged);
    setRightToLeft(false);
}

QString NoScrollTextEditor::text() const
{
    // Not toPlainText(): that turns no-break spaces into spaces, and the owner would see an
    // edit nobody made.
    return withLineFeeds(document()->toRawText());
}

void NoScrollTextEditor::setHorizontalInset(int inset)
{
    m_horizontalInset = inset;
    setViewportMargins(inset, verticalInset, inset, verticalInset);
}

void NoScrollTextEditor::setRightToLeft(bool rightToLeft)
{
    m_rightToLeft = rightToLeft;
    // Set every time and never left to inheritance: an editor inside a right-to-left parent, or
    // in an application that is, would otherwise lay a Latin text out from the right.
    const Qt::LayoutDirection direction = rightToLeft ? Qt::RightToLeft : Qt::LeftToRight;
    setLayoutDirection(direction);
    // Absolute: a plain AlignRight means the left edge once the direction is right-to-left.
    const Qt::Alignment alignment =
        Qt::AlignAbsolute | (rightToLeft ? Qt::AlignRight : Qt::AlignLeft);
    QTextOption option = document()->defaultTextOption();
    if (option.textDirection() != direction || option.alignment() != alignment) {
        option.setTextDirection(direction);
        option.setAlignment(alignment);
        document()->setDefaultTextOption(option);
    }
}

void NoScrollTextEditor::setText(const QString &text)
{
    const QString wanted = withLineFeeds(text);
    m_ownerText = wanted;
    if (m_offering > 0) {
        // The owner answers an edit; the editor follows the last word once it is done.
        m_answer = wanted;
        return;
    }
    if (wanted != this->text()) {
        replaceText(wanted);
    }
}

void NoScrollTextEditor::onTextChanged()
{
    if (m_replacing) {
        return;
    }
    // Compositions in an input method live beside the document, not in it, so their text
    // reaches the owner only once committed.
    const QString current = text();
    if (current == m_ownerText) {
        return;
    }
    const QString previous = m_ownerText;
    settle(current, previous, offer(current));
}

std::optional<QString> NoScrollTextEditor::offer(const QString &text)
{
    m_ownerText = text;
    const std::optional<QString> outer = std::exchange(m_answer, std::nullopt);
    ++m_offering;
    emit textEdited(text);
    --m_offering;
    if (!m_recheckPending) {
        m_recheckPending = true;
        QTimer::singleShot(0, this, &NoScrollTextEditor::recheck);
    }
    return std::exchange(m_answer, outer);
}

void NoScrollTextEditor::settle(const QString &offered, const QString &previous,
                                std::optional<QString> answer)
{
    if (!answer || *answer == offered || *answer == text()) {
        return;
    }
    if (*answer == previous && document()->isUndoAvailable()) {
        // Refused. Taken back as undo takes edits back, so that a later undo goes on from the
        // text before the edit; a mere correction would itself be undone next and bring the
        // refused text back, again and again. Undo may go back further than this one edit
        // (typing is undone a run at a time), and the correction below makes up the rest.
        QScopedValueRollback replacing(m_replacing, true);
        undo();
    }
    replaceText(*answer);
}

void NoScrollTextEditor::recheck()
{
    m_recheckPending = false;
    const QString current = text();
    if (m_offering > 0 || current == m_ownerText) {
        return;
    }
    const QString previous = m_ownerText;
    settle(current, previous, offer(current));
}

void NoScrollTextEditor::replaceText(const QString &wanted)
{
    const QString current = text();
    if (wanted == current) {
        return;
    }
    // Only the part that differs is replaced, so the caret and the selection stay where they
    // were outside it.
    const qsizetype shorter = std::min(current.size(), wanted.size());
    qsizetype prefix = 0;
    while (prefix < shorter && current[prefix] == wanted[prefix]) {
        ++prefix;
    }
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           current[current.size() - 1 - suffix] == wanted[wanted.size() - 1 - suffix]) {
        ++suffix;
    }
    // Never between the halves of a surrogate pair.
    if (prefix > 0 && current[prefix - 1].isHighSurrogate()) {
        --prefix;
    }
    if (suffix > 0 && current[current.size() - suffix].isLowSurrogate()) {
        --suffix;
    }

    QScopedValueRollback replacing(m_replacing, true);
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.setPosition(int(prefix));
    cursor.setPosition(int(current.size() - suffix), QTextCursor::KeepAnchor);
    const QString inserted = wanted.mid(prefix, wanted.size() - prefix - suffix);
    if (inserted.isEmpty()) {
        cursor.removeSelectedText();
    } else {
        cursor.insertText(inserted);
    }
    cursor.endEditBlock();
}

bool NoScrollTextEditor::canInsertFromMimeData(const QMimeData *source) const
{
    return source->hasText() || source->hasHtml();
}

void NoScrollTextEditor::insertFromMimeData(const QMimeData *source)
{
    // Only the text of a paste or a drop, in the editor's own font: nothing else is kept.
    const QString pasted = withLineFeeds(plainTextOf(source));
    QTextCursor cursor = textCursor();
    if (pasted.isEmpty() && !cursor.hasSelection()) {
        return;
    }
    const QString current = text();
    const QString candidate =
        current.left(cursor.selectionStart()) + pasted + current.mid(cursor.selectionEnd());
    if (candidate == current) {
        return;
    }
    // The owner sees the text before the editor lays it out. A paste it refuses, a megabyte
    // of it say, then costs no more than the owner's look at it.
    const std::optional<QString> answer = offer(candidate);
    if (answer && *answer != candidate) {
        if (*answer != current) {
            replaceText(*answer);
        }
        return;
    }
    QScopedValueRollback replacing(m_replacing, true);
    if (pasted.isEmpty()) {
        cursor.removeSelectedText();
    } else {
        cursor.insertText(pasted);
    }
    setTextCursor(cursor);
    ensureCursorVisible();
}

QMimeData *NoScrollTextEditor::createMimeDataFromSelection() const
{
    // Plain text only: a copy of a plain text carries no HTML for others to paste.
    auto data = std::make_unique<QMimeData>();
    data->setText(withLineFeeds(textCursor().selectedText()));
    return data.release();
}

void NoScrollTextEditor::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    m_scrollIndicator->setGeometry(width() - OverlayScrollBar::thickness - 2, verticalInset,
                                   OverlayScrollBar::thickness, height() - 2 * verticalInset);
}

void NoScrollTextEditor::paintEvent(QPaintEvent *event)
{
    QPlainTextEdit::paintEvent(event);
    paintCaret(event);
}

void NoScrollTextEditor::paintCaret(const QPaintEvent *event)
{
    // QPlainTextEdit draws its caret by inverting what lies under it. Drawing the same caret
    // once more inverts it back, which leaves no trace of the first whatever the background,
    // and the caret then goes on top in the accent colour. The blink and the repaints of the
    // old place stay Qt's; the paint context tells whether the caret is on in this blink, and
    // where.
    const QAbstractTextDocumentLayout::PaintContext context = getPaintContext();
    const bool editable = !isReadOnly();
    if (!editable && !(textInteractionFlags() & Qt::TextSelectableByKeyboard)) {
        return;
    }
    QTextBlock block;
    int position = 0;
    if (context.cursorPosition >= 0 && !overwriteMode()) {
        block = document()->findBlock(context.cursorPosition);
        position = context.cursorPosition - block.position();
    } else if (context.cursorPosition < -1 && editable) {
        // Inside a composition: the caret is where the input method puts it in its text.
        block = textCursor().block();
        if (!block.isValid() || block.layout()->preeditAreaText().isEmpty()) {
            return;
        }
        position = block.layout()->preeditAreaPosition() - (context.cursorPosition + 2);
    }
    if (!block.isValid() || !block.isVisible()) {
        return;
    }
    const QTextLayout *layout = block.layout();
    const QTextLine line = layout->lineForTextPosition(position);
    if (!line.isValid()) {
        return;
    }
    const QPointF offset = blockBoundingGeometry(block).translated(contentOffset()).topLeft();
    QPainter painter(viewport());
    painter.setClipRect(event->rect());
    const QColor accent = AppTheme::colors().accent;
    painter.setPen(accent);
    layout->drawCursor(&painter, offset, position, cursorWidth());
    // A caret at the right end of a full line, the start of a right-aligned right-to-left
    // text among them, would fall just outside the viewport: it stays inside.
    const QPointF origin = offset + layout->position();
    const qreal x =
        std::min(origin.x() + line.cursorToX(position), qreal(viewport()->width() - cursorWidth()));
    painter.fillRect(
        QRectF(x, origin.y() + line.y(), cursorWidth(), line.ascent() + line.descent()), accent);
}
