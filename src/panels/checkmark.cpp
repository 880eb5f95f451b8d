#include "checkmark.h"

#include <QPainter>
#include <QPainterPath>

void paintCheckmark(QPainter &painter, const QRectF &box, const QColor &color)
{
    QPainterPath check;
    check.moveTo(box.left() + 0.12 * box.width(), box.top() + 0.55 * box.height());
    check.lineTo(box.left() + 0.40 * box.width(), box.top() + 0.82 * box.height());
    check.lineTo(box.left() + 0.88 * box.width(), box.top() + 0.18 * box.height());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(check);
    painter.restore();
}
