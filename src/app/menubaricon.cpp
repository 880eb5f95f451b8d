#include "menubaricon.h"

#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

namespace {

// The glyph's own colour is ignored: its alpha is filled with `color`.
QPixmap tinted(QSvgRenderer &renderer, const QColor &color, qreal ratio)
{
    QPixmap pixmap(QSize(MenuBarIcon::size, MenuBarIcon::size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(0, 0, MenuBarIcon::size, MenuBarIcon::size));
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(0, 0, MenuBarIcon::size, MenuBarIcon::size), color);
    return pixmap;
}

} // namespace

QIcon MenuBarIcon::make(const QColor &color, const QString &path)
{
    QIcon icon;
    QSvgRenderer renderer;
    const bool loaded = QFile::exists(path) && renderer.load(path) && renderer.isValid();
    for (qreal ratio : {1.0, 2.0}) {
        icon.addPixmap(loaded ? tinted(renderer, color, ratio) : speechBubbles(color, ratio));
    }
    if (icon.isNull()) {
        QPixmap empty(size, size);
        empty.fill(Qt::transparent);
        icon.addPixmap(empty);
    }
    return icon;
}

QPixmap MenuBarIcon::speechBubbles(const QColor &color, qreal devicePixelRatio)
{
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));

    // A larger bubble with its tail to the lower left, a smaller one behind it to the right.
    QPainterPath front;
    front.addRoundedRect(QRectF(1.5, 2.5, 10, 7.5), 2, 2);
    front.moveTo(4, 10);
    front.lineTo(3.2, 12.8);
    front.lineTo(6.5, 10);
    QPainterPath back;
    back.moveTo(12.5, 6.5);
    back.lineTo(15, 6.5);
    back.quadTo(16.5, 6.5, 16.5, 8);
    back.lineTo(16.5, 12);
    back.quadTo(16.5, 13.5, 15, 13.5);
    back.lineTo(14.5, 13.5);
    back.lineTo(14.8, 16);
    back.lineTo(12, 13.5);
    back.lineTo(9, 13.5);
    back.quadTo(7.5, 13.5, 7.5, 12);
    back.lineTo(7.5, 11);
    painter.drawPath(front.simplified());
    painter.drawPath(back);
    return pixmap;
}
