#include "stylerow.h"

#include "apptheme.h"
#include "checkmark.h"
#include "cursormodifier.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

StyleRow::StyleRow(TranslationStyle style, QWidget *parent)
    : QAbstractButton(parent)
    , m_style(style)
{
    setText(style.title()); // for accessibility tools; painted from the style itself
    setAccessibleDescription(style.description());
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    new CursorModifier(this, Qt::PointingHandCursor);
}

void StyleRow::setSelected(bool selected)
{
    if (selected != m_selected) {
        m_selected = selected;
        update();
    }
}

QFont StyleRow::titleFont() const
{
    QFont font = this->font();
    font.setPixelSize(titleSize);
    return font;
}

QFont StyleRow::descriptionFont() const
{
    QFont font = this->font();
    font.setPixelSize(descriptionSize);
    return font;
}

QSize StyleRow::sizeHint() const
{
    const QFontMetricsF title(titleFont());
    const QFontMetricsF description(descriptionFont());
    const qreal textWidth = std::max(title.horizontalAdvance(m_style.title()),
                                     description.horizontalAdvance(m_style.description()));
    const qreal width = 2 * horizontalPadding + textWidth + checkmarkSpacing + checkmarkSize;
    const qreal height = 2 * verticalPadding + title.height() + lineSpacing + description.height();
    return {int(std::ceil(width)), int(std::ceil(height))};
}

QSize StyleRow::minimumSizeHint() const
{
    return sizeHint();
}

QRectF StyleRow::checkmarkRect() const
{
    return {width() - horizontalPadding - qreal(checkmarkSize), (height() - checkmarkSize) / 2.0,
            qreal(checkmarkSize), qreal(checkmarkSize)};
}

void StyleRow::paintEvent(QPaintEvent *)
{
    const AppTheme::Colors &colors = AppTheme::colors();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // A flat button answers a press by dimming what it shows, not with a frame.
    if (isDown()) {
        painter.setOpacity(0.6);
    }

    const QFont title = titleFont();
    const QFont description = descriptionFont();
    const QFontMetricsF titleMetrics(title);
    const QFontMetricsF descriptionMetrics(description);
    const qreal textWidth = checkmarkRect().left() - checkmarkSpacing - horizontalPadding;
    const qreal textHeight = titleMetrics.height() + lineSpacing + descriptionMetrics.height();
    qreal y = (height() - textHeight) / 2;

    painter.setFont(title);
    painter.setPen(colors.label);
    painter.drawText(QRectF(horizontalPadding, y, textWidth, titleMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     titleMetrics.elidedText(m_style.title(), Qt::ElideRight, textWidth));
    y += titleMetrics.height() + lineSpacing;
    painter.setFont(description);
    painter.setPen(colors.secondaryLabel);
    painter.drawText(
        QRectF(horizontalPadding, y, textWidth, descriptionMetrics.height()),
        Qt::AlignLeft | Qt::AlignVCenter,
        descriptionMetrics.elidedText(m_style.description(), Qt::ElideRight, textWidth));

    if (m_selected) {
        paintCheckmark(painter, checkmarkRect(), colors.accent);
    }
}
