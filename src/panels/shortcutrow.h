#pragma once

#include <QKeySequence>
#include <QWidget>

class QLabel;
class ShortcutRecorder;

// One shortcut in the settings: its title on the left, the shortcut in a badge on the right
// and, left of the badge, an optional note (a hint while recording, a warning when the desktop
// refused the shortcut); under them, an optional line of explanation in the secondary colour.
class ShortcutRow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int horizontalPadding = 16;
    static constexpr int verticalPadding = 12;
    static constexpr int titleSize = 14;
    static constexpr int noteSize = 11;
    static constexpr int detailSpacing = 6;

    ShortcutRow(const QString &title, const QKeySequence &shortcut, QWidget *parent = nullptr);

    QString title() const;
    ShortcutRecorder *badge() const { return m_badge; }

    QString note() const;
    // An empty text hides the note. A warning is drawn in the alert colour.
    void setNote(const QString &text, bool warning = false, const QString &toolTip = {});

    QString detail() const;
    // An empty text hides the line; a long one wraps.
    void setDetail(const QString &text);

private:
    QLabel *m_title;
    QLabel *m_note;
    QLabel *m_detail;
    ShortcutRecorder *m_badge;
};
