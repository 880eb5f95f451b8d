#pragma once

#include <QAbstractButton>
#include <QKeySequence>

// The badge that shows a keyboard shortcut in the settings, in the desktop's notation
// ("Alt+Space"). A recordable badge takes a new shortcut when clicked: it then shows what to
// do, follows the modifiers being held, and ends with the first key that makes a usable global
// shortcut (recorded()), with Escape (cancelled()), with Backspace (resetRequested()), or when
// it loses the keyboard or is clicked again (cancelled()). The sequence shown changes only
// through setSequence(); the owner decides what a recording means.
class ShortcutRecorder : public QAbstractButton
{
    Q_OBJECT

public:
    static constexpr int textSize = 12;
    static constexpr int horizontalPadding = 8;
    static constexpr int verticalPadding = 4;
    static constexpr int cornerRadius = 6;
    static inline const QString promptText = QStringLiteral("Press keys...");

    explicit ShortcutRecorder(const QKeySequence &sequence, QWidget *parent = nullptr);

    QKeySequence sequence() const { return m_sequence; }
    void setSequence(const QKeySequence &sequence);
    // Off by default: the badge is then a label and lets clicks through.
    bool isRecordable() const { return m_recordable; }
    void setRecordable(bool recordable);
    bool isRecording() const { return m_recording; }
    void startRecording();
    void cancelRecording();

    // What the badge shows: the sequence, or while recording the prompt or the modifiers held.
    QString displayText() const;

    // A combination that can serve as a global shortcut without taking a key from typing: one
    // with Ctrl, Alt or Meta, or a function key. Modifier keys alone never are.
    static bool isUsable(QKeyCombination combination);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void recordingStarted();
    void recorded(const QKeySequence &sequence);
    void resetRequested();
    void cancelled();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QFont badgeFont() const;
    void stopRecording();
    void onClicked();

    QKeySequence m_sequence;
    bool m_recordable = false;
    bool m_recording = false;
    Qt::KeyboardModifiers m_held;
};
