#include "swapbutton.h"

#include "apptheme.h"
#include "glyph.h"

#include <QEnterEvent>
#include <QPainter>

SwapButton::SwapButton(QWidget *parent)
    : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(frameSize, frameSize);
    setToolTip(tr("Swap languages"));
    setAccessibleName(toolTip());
}

QSize SwapButton::sizeHint() const
{
    return {frameSize, frameSize};
}

void SwapButton::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void SwapButton::leaveEvent(QEvent *event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void SwapButton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange) {
        update();
    }
    QAbstractButton::changeEvent(event);
}

void SwapButton::paintEvent(QPaintEvent *)
{
    const AppTheme::Colors &colors = AppTheme::colors();
    const bool hovered = m_hovered && isEnabled();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) {
        painter.setOpacity(0.35);
    }
    // The arrows are drawn a little heavier than the other glyphs, so that they hold their own
    // at the smaller size.
    Glyph::paint(painter, rect(), QStringLiteral("swap"), glyphSize,
                 hovered ? colors.label : colors.secondaryLabel, Glyph::Order::ownFirst);
}
