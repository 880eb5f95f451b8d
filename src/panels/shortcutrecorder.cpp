#include "shortcutrecorder.h"

#include "apptheme.h"
#include "cursormodifier.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>

#include <cmath>

namespace {

constexpr Qt::KeyboardModifiers shortcutModifiers =
    Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier;

// The modifier a modifier key stands for. Platforms disagree on whether the press of a
// modifier key already carries it (X11 reports the state before the press), so the held
// modifiers are worked out from the key itself.
Qt::KeyboardModifiers modifierOf(int key)
{
    switch (key) {
    case Qt::Key_Shift:
        return Qt::ShiftModifier;
    case Qt::Key_Control:
        return Qt::ControlModifier;
    case Qt::Key_Alt:
        return Qt::AltModifier;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        return Qt::MetaModifier;
    default:
        return {};
    }
}

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
        return true;
    default:
        return false;
    }
}

// "Ctrl+Alt+" for the modifiers alone, in the notation the finished shortcut will have.
QString modifierPrefix(Qt::KeyboardModifiers modifiers)
{
    const QString withKey =
        QKeySequence(QKeyCombination(modifiers, Qt::Key_A)).toString(QKeySequence::NativeText);
    return withKey.chopped(1);
}

} // namespace

ShortcutRecorder::ShortcutRecorder(const QKeySequence &sequence, QWidget *parent)
    : QAbstractButton(parent)
    , m_sequence(sequence)
{
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setText(displayText());
    connect(this, &QAbstractButton::clicked, this, &ShortcutRecorder::onClicked);
}

void ShortcutRecorder::setSequence(const QKeySequence &sequence)
{
    m_sequence = sequence;
    setText(displayText());
    updateGeometry();
    update();
}

void ShortcutRecorder::setRecordable(bool recordable)
{
    if (recordable == m_recordable) {
        return;
    }
    m_recordable = recordable;
    if (!recordable) {
        cancelRecording();
    }
    setAttribute(Qt::WA_TransparentForMouseEvents, !recordable);
    // Taken only while recording; the keyboard stays with the field being typed in otherwise.
    setFocusPolicy(recordable ? Qt::ClickFocus : Qt::NoFocus);
    if (recordable) {
        new CursorModifier(this, Qt::PointingHandCursor);
    } else {
        qDeleteAll(findChildren<CursorModifier *>(Qt::FindDirectChildrenOnly));
    }
}

void ShortcutRecorder::onClicked()
{
    if (m_recording) {
        cancelRecording();
    } else {
        startRecording();
    }
}

void ShortcutRecorder::startRecording()
{
    if (!m_recordable || m_recording) {
        return;
    }
    m_recording = true;
    m_held = {};
    setFocus(Qt::OtherFocusReason);
    setText(displayText());
    updateGeometry();
    update();
    emit recordingStarted();
}

void ShortcutRecorder::stopRecording()
{
    m_recording = false;
    m_held = {};
    setText(displayText());
    updateGeometry();
    update();
}

void ShortcutRecorder::cancelRecording()
{
    if (m_recording) {
        stopRecording();
        emit cancelled();
    }
}

QString ShortcutRecorder::displayText() const
{
    if (!m_recording) {
        return m_sequence.toString(QKeySequence::NativeText);
    }
    return m_held ? modifierPrefix(m_held) + QStringLiteral("...") : promptText;
}

bool ShortcutRecorder::isUsable(QKeyCombination combination)
{
    const int key = combination.key();
    if (key == 0 || key == Qt::Key_unknown || isModifierKey(key)) {
        return false;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35) {
        return true;
    }
    return bool(combination.keyboardModifiers() &
                (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

bool ShortcutRecorder::event(QEvent *event)
{
    // While recording, every combination is ours: no application shortcut may take it first.
    if (m_recording && event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    return QAbstractButton::event(event);
}

bool ShortcutRecorder::focusNextPrevChild(bool next)
{
    // Tab is a key like any other while recording, not a move to the next control.
    return m_recording ? false : QAbstractButton::focusNextPrevChild(next);
}

void ShortcutRecorder::keyPressEvent(QKeyEvent *event)
{
    if (!m_recording) {
        QAbstractButton::keyPressEvent(event);
        return;
    }
    event->accept();
    const Qt::KeyboardModifiers modifiers = event->modifiers() & shortcutModifiers;
    const int key = event->key();
    if (isModifierKey(key)) {
        m_held = modifiers | modifierOf(key);
        setText(displayText());
        updateGeometry();
        update();
        return;
    }
    if (modifiers == Qt::NoModifier && key == Qt::Key_Escape) {
        cancelRecording();
        return;
    }
    if (modifiers == Qt::NoModifier && key == Qt::Key_Backspace) {
        stopRecording();
        emit resetRequested();
        return;
    }
    const QKeyCombination combination(modifiers, Qt::Key(key));
    if (!isUsable(combination)) {
        return; // a plain letter would be taken from every program's typing: keep listening
    }
    stopRecording();
    emit recorded(QKeySequence(combination));
}

void ShortcutRecorder::keyReleaseEvent(QKeyEvent *event)
{
    if (!m_recording) {
        QAbstractButton::keyReleaseEvent(event);
        return;
    }
    event->accept();
    if (isModifierKey(event->key())) {
        m_held = event->modifiers() & shortcutModifiers & ~modifierOf(event->key());
        setText(displayText());
        updateGeometry();
        update();
    }
}

void ShortcutRecorder::focusOutEvent(QFocusEvent *event)
{
    cancelRecording();
    QAbstractButton::focusOutEvent(event);
}

void ShortcutRecorder::hideEvent(QHideEvent *event)
{
    cancelRecording();
    QAbstractButton::hideEvent(event);
}

QFont ShortcutRecorder::badgeFont() const
{
    QFont font = this->font();
    font.setPixelSize(textSize);
    font.setWeight(QFont::Medium);
    return font;
}

QSize ShortcutRecorder::sizeHint() const
{
    const QFontMetricsF metrics(badgeFont());
    return {int(std::ceil(metrics.horizontalAdvance(displayText()))) + 2 * horizontalPadding,
            int(std::ceil(metrics.height())) + 2 * verticalPadding};
}

void ShortcutRecorder::paintEvent(QPaintEvent *)
{
    const AppTheme::Colors &colors = AppTheme::colors();
    const bool dark = AppTheme::current() == AppTheme::Scheme::dark;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (isDown() && !m_recording) {
        painter.setOpacity(0.6);
    }

    // The border lies inside the edge: a 1-point line centred half a point in.
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(1, 1, 1, dark ? 0.12f : 0.8f));
    painter.drawRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(m_recording ? colors.accent : QColor::fromRgbF(0, 0, 0, 0.08f), 1));
    painter.drawRoundedRect(frame, cornerRadius - 0.5, cornerRadius - 0.5);

    painter.setFont(badgeFont());
    painter.setPen(m_recording ? colors.accent : colors.secondaryLabel);
    painter.drawText(QRectF(rect()), Qt::AlignCenter, displayText());
}
