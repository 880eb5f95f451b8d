#include "panelclosebutton.h"

#include "apptheme.h"
#include "cursormodifier.h"

#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <cmath>

PanelCloseButton::PanelCloseButton(int glyphSize, QWidget *parent)
    : QAbstractButton(parent)
    , m_glyphSize(glyphSize)
{
    setAccessibleName(tr("Close"));
    setToolTip(tr("Close"));
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    new CursorModifier(this, Qt::PointingHandCursor);
}

QSize PanelCloseButton::sizeHint() const
{
    return {m_glyphSize, m_glyphSize};
}

void PanelCloseButton::paintEvent(QPaintEvent *)
{
    const AppTheme::Colors &colors = AppTheme::colors();
    // Plain style: no chrome, only the glyph answering the pointer.
    const QColor color =
        isDown() || (underMouse() && isEnabled()) ? colors.secondaryLabel : colors.tertiaryLabel;

    QPainter painter(this);
    const qreal ratio = painter.device()->devicePixelRatioF();
    const QString key = QStringLiteral("quenzal-close/%1/%2/%3")
                            .arg(m_glyphSize)
                            .arg(ratio)
                            .arg(color.name(QColor::HexArgb));
    QPixmap glyph;
    if (!QPixmapCache::find(key, &glyph)) {
        const QSize pixels = (QSizeF(m_glyphSize, m_glyphSize) * ratio).toSize();
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
    const QPointF origin = QRectF(rect()).center() - QPointF(m_glyphSize, m_glyphSize) / 2;
    painter.drawPixmap(QPointF(std::round(origin.x()), std::round(origin.y())), glyph);
    if (hasFocus()) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(colors.accent, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
}
