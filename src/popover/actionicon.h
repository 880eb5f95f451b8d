#pragma once

#include <QAbstractButton>
#include <QString>

// A round icon button of the popover: a glyph that lights up on a faint disc under the pointer.
// While active (an action under way, such as listening for dictation) it shows red on a red
// disc whatever the pointer does; the disc deepens with the level (the loudness heard while
// listening). A disabled one is drawn faint and cannot be pressed, but still
// shows its tooltip, which is where it says why.
//
// It never takes the keyboard focus: pressing it must leave the caret where the user was typing.
// The tooltip doubles as the name screen readers announce, as the button has no text.
class ActionIcon : public QAbstractButton
{
    Q_OBJECT

public:
    static constexpr int frameSize = 28;
    static constexpr int glyphSize = 14;

    ActionIcon(const QString &glyph, const QString &toolTip, QWidget *parent = nullptr);

    QString glyph() const { return m_glyph; }
    void setGlyph(const QString &glyph);
    bool isActive() const { return m_active; }
    void setActive(bool active);
    // 0 .. 1
    void setLevel(qreal level);
    bool isHovered() const { return m_hovered; }

    QSize sizeHint() const override;
    // The red of the active look.
    static QColor activeColor();

protected:
    bool event(QEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_glyph;
    bool m_active = false;
    qreal m_level = 0;
    bool m_hovered = false;
};
