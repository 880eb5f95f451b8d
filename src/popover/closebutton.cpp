#include "closebutton.h"

#include "apptheme.h"
#include "cursormodifier.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <cmath>

CloseButton::CloseButton(Look look, int size, QWidget *parent)
    : QAbstractButton(parent)
    , m_look(look)
    , m_size(size)
{
    setAccessibleName(tr("Close"));
    setToolTip(tr("Close"));
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // The filled circle sits in text the keyboard moves through; the settings' disc does not.
    setFocusPolicy(look == Look::filledCircle ? Qt::TabFocus : Qt::NoFocus);
    if (look == Look::crossOnDisc) {
        setFixedSize(size, size);
    }
    new CursorModifier(this, Qt::PointingHandCursor);
}

QSize CloseButton::sizeHint() const
{
    return {m_size, m_size};
}

void CloseButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_look == Look::filledCircle) {
        paintFilledCircle(painter);
    } else {
        paintCrossOnDisc(painter);
    }
}

void CloseButton::paintFilledCircle(QPainter &painter)
{
    const AppTheme::Colors &colors = AppTheme::colors();
    const QColor color =
        isDown() || (underMouse() && isEnabled()) ? colors.secondaryLabel : colors.tertiaryLabel;
    const qreal ratio = painter.device()->devicePixelRatioF();
    const QString key = QStringLiteral("quenzal-close/%1/%2/%3")
                            .arg(m_size)
                            .arg(ratio)
                            .arg(color.name(QColor::HexArgb));
    QPixmap glyph;
    if (!QPixmapCache::find(key, &glyph)) {
        const QSize pixels = (QSizeF(m_size, m_size) * ratio).toSize();
        QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QSvgRenderer renderer(QStringLiteral(":/glyphs/close-filled.svg"));
            QPainter imagePainter(&image);
            renderer.render(&imagePainter, QRectF(QPointF(), QSizeF(pixels)));
            imagePainter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            imagePainter.fillRect(image.rect(), color);
        }
        image.setDevicePixelRatio(ratio);
        glyph = QPixmap::fromImage(std::move(image));
        QPixmapCache::insert(key, glyph);
    }

    // On whole pixels, so the cut-out cross stays sharp.
    const QPointF origin = QRectF(rect()).center() - QPointF(m_size, m_size) / 2;
    painter.drawPixmap(QPointF(std::round(origin.x()), std::round(origin.y())), glyph);
    if (hasFocus()) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(colors.accent, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
}

void CloseButton::paintCrossOnDisc(QPainter &painter)
{
    painter.setRenderHint(QPainter::Antialiasing);
    if (isDown()) {
        painter.setOpacity(0.6);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.06f));
    painter.drawEllipse(QRectF(rect()));
    // The x of a semibold 11-point symbol on a 22-point disc: its strokes span about three
    // quarters of the symbol.
    const qreal arm = m_size / 2.0 * 0.36;
    const QPointF centre = QRectF(rect()).center();
    // One path, so the translucent strokes do not darken where they cross.
    QPainterPath cross;
    cross.moveTo(centre + QPointF(-arm, -arm));
    cross.lineTo(centre + QPointF(arm, arm));
    cross.moveTo(centre + QPointF(-arm, arm));
    cross.lineTo(centre + QPointF(arm, -arm));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(AppTheme::colors().secondaryLabel, 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawPath(cross);
}
