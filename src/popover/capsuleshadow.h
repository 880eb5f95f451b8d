#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>

class QPainter;

// The soft shadow under a capsule: the capsule's shape, offset and blurred with a Gaussian.
// The last one drawn is kept, so a capsule at rest costs one image draw per paint; a moving
// one is blurred again each frame, which at pill sizes takes well under a millisecond.
class CapsuleShadow
{
public:
    // `blurRadius` follows the usual convention of twice the Gaussian's standard deviation.
    CapsuleShadow(const QColor &color, qreal blurRadius, QPointF offset);

    // The area the shadow of `capsule` can touch.
    QRectF bounds(const QRectF &capsule) const;
    // Draws under `capsule`, in the painter's coordinates, which may be scaled but not rotated.
    void paint(QPainter &painter, const QRectF &capsule);

private:
    void render(QSizeF size, QPointF fraction, qreal pixelRatio);

    QColor m_color;
    qreal m_sigma;
    QPointF m_offset;

    QImage m_image;
    QSizeF m_imageCapsuleSize; // device pixels
    QPointF m_imageFraction;   // where, within its first pixel, the capsule starts
    int m_imageMargin = 0;     // device pixels around the capsule
};
