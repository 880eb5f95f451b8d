#pragma once

#include "capsuleshadow.h"

#include <QWidget>

class SwapButton;

// The strip between the source text and its translation: a hairline that fades out towards
// both ends, and over its middle a frosted disc holding the swap button.
class SwapDivider : public QWidget
{
    Q_OBJECT

public:
    static constexpr int width = 40;
    static constexpr int discDiameter = 36;

    explicit SwapDivider(QWidget *parent = nullptr);

    SwapButton *swapButton() const { return m_swap; }
    QRectF discRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    SwapButton *m_swap;
    CapsuleShadow m_shadow;
};
