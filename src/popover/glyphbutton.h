#pragma once

#include <QAbstractButton>

// A glyph without button chrome that brightens from the secondary to the primary label colour
// under the pointer, optionally over a faint disc; faded while disabled. Leaves the keyboard
// focus with the text, like the popover's other controls.
class GlyphButton : public QAbstractButton
{
    Q_OBJECT

public:
    struct Look
    {
        QString glyph;
        int frameSize = 0;
        int glyphSize = 0;
        bool hoverDisc = false; // a faint disc behind the glyph under the pointer
    };

    GlyphButton(Look look, const QString &toolTip, QWidget *parent = nullptr);

    bool isHovered() const { return m_hovered; }
    QSize sizeHint() const override;

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    Look m_look;
    bool m_hovered = false;
};
