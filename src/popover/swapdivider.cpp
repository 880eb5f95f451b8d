#include "swapdivider.h"

#include "apptheme.h"
#include "swapbutton.h"

#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr qreal lineWidth = 0.5;

QColor withAlpha(QColor color, qreal factor)
{
    color.setAlphaF(float(color.alphaF() * factor));
    return color;
}

QColor white(float alpha)
{
    return QColor::fromRgbF(1, 1, 1, alpha);
}

} // namespace

SwapDivider::SwapDivider(QWidget *parent)
    : QWidget(parent)
    , m_swap(new SwapButton(this))
    , m_shadow(QColor::fromRgbF(0, 0, 0, 0.08f), 4, QPointF(0, 1))
{
    setFixedWidth(width);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
}

QRectF SwapDivider::discRect() const
{
    const QPointF centre = QRectF(rect()).center();
    return {centre.x() - discDiameter / 2.0, centre.y() - discDiameter / 2.0, discDiameter,
            discDiameter};
}

void SwapDivider::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const QSize button = m_swap->sizeHint();
    m_swap->setGeometry(
        QRect(QPoint(0, 0), button)
            .translated((QWidget::width() - button.width()) / 2, (height() - button.height()) / 2));
}

void SwapDivider::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (AppTheme::isSchemeChange(event)) {
        update();
    }
}

void SwapDivider::paintEvent(QPaintEvent *)
{
    const bool dark = AppTheme::current() == AppTheme::Scheme::dark;
    const QColor separator = AppTheme::colors().separator;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient line(0, 0, 0, height());
    line.setColorAt(0, withAlpha(separator, 0));
    line.setColorAt(1.0 / 3, separator);
    line.setColorAt(2.0 / 3, separator);
    line.setColorAt(1, withAlpha(separator, 0));
    const qreal middle = QWidget::width() / 2.0;
    painter.fillRect(QRectF(middle - lineWidth / 2, 0, lineWidth, height()), line);

    const QRectF disc = discRect();
    QPainterPath circle;
    circle.addEllipse(disc);
    m_shadow.paint(painter, disc);
    QLinearGradient fill(disc.topLeft(), disc.bottomRight());
    fill.setColorAt(0, white(dark ? 0.18f : 0.8f));
    fill.setColorAt(1, white(dark ? 0.07f : 0.4f));
    painter.fillPath(circle, fill);
}
