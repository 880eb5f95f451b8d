#pragma once

#include <QWidget>

// A clear window over the whole free area of the screen, laid under the popover on the layer
// shell of Wayland compositors: a press on it is a press outside the popover. Some compositors
// (sway 1.7) leave the keyboard with the popover when another window is clicked, so without it
// the popover would never hear of the click. The press that closes the popover goes no further.
// Hidden, it gives its native window and the image it paints into back.
//
// It has a hole where the popover is, which takes no presses: compositors stack two surfaces
// of one layer differently (sway 1.7 keeps the first one shown on top), and a shield stacked
// over the popover would otherwise take every click meant for the popover.
class ClickShield : public QWidget
{
    Q_OBJECT

public:
    explicit ClickShield(QWidget *parent = nullptr);

    // Where the popover lies: `size`, `fromTopRight` away from the shield's top right corner.
    void setOpening(QMargins fromTopRight, QSize size);

signals:
    void pressed();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void cutOpening();

    QMargins m_openingMargins;
    QSize m_openingSize;
};
