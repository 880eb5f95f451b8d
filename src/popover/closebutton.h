#pragma once

#include <QAbstractButton>

// The close control of a panel's header, without button chrome, with the pointing hand over
// it. Two looks: a filled circle with a cross cut out of it, in the tertiary label colour and
// the size of the title beside it (the report, the about panel); or a thin cross on a faint
// disc (the settings). Pressed or under the pointer it shows a little stronger.
class CloseButton : public QAbstractButton
{
    Q_OBJECT

public:
    enum class Look { filledCircle, crossOnDisc };

    // `size` is the glyph's for a filled circle, the disc's for a cross on a disc.
    CloseButton(Look look, int size, QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void paintFilledCircle(QPainter &painter);
    void paintCrossOnDisc(QPainter &painter);

    Look m_look;
    int m_size;
};
