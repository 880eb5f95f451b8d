#include "modelrow.h"

#include "apptheme.h"
#include "checkmark.h"
#include "cursormodifier.h"
#include "stylerow.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>

#include <cmath>

ModelRow::ModelRow(const QString &name, qint64 size, QWidget *parent)
    : QAbstractButton(parent)
    , m_name(name)
    , m_size(QLocale().formattedDataSize(size, 0))
{
    setText(name); // for accessibility tools and tests; painted from the members
    setAccessibleDescription(m_size);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    new CursorModifier(this, Qt::PointingHandCursor);
}

void ModelRow::setSelected(bool selected)
{
    if (selected != m_selected) {
        m_selected = selected;
        update();
    }
}

QFont ModelRow::nameFont() const
{
    return AppTheme::font(font(), StyleRow::titleSize);
}

QFont ModelRow::sizeFont() const
{
    return AppTheme::font(font(), sizeTextSize);
}

QSize ModelRow::sizeHint() const
{
    const QFontMetricsF name(nameFont());
    const QFontMetricsF size(sizeFont());
    const qreal width = 2 * StyleRow::horizontalPadding + name.horizontalAdvance(m_name) +
                        sizeSpacing + size.horizontalAdvance(m_size) + StyleRow::checkmarkSpacing +
                        StyleRow::checkmarkSize;
    const qreal height = 2 * verticalPadding + std::max(name.height(), size.height());
    return {int(std::ceil(width)), int(std::ceil(height))};
}

QSize ModelRow::minimumSizeHint() const
{
    return sizeHint();
}

QRectF ModelRow::checkmarkRect() const
{
    const qreal size = StyleRow::checkmarkSize;
    return {width() - StyleRow::horizontalPadding - size, (height() - size) / 2, size, size};
}

void ModelRow::paintEvent(QPaintEvent *)
{
    const AppTheme::Colors &colors = AppTheme::colors();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (isDown()) {
        painter.setOpacity(0.6);
    }

    // The size keeps its room; a long name gives way.
    const QRectF check = checkmarkRect();
    const QFontMetricsF sizeMetrics(sizeFont());
    const qreal sizeWidth = sizeMetrics.horizontalAdvance(m_size);
    const qreal sizeRight = check.left() - StyleRow::checkmarkSpacing;
    painter.setFont(sizeFont());
    painter.setPen(colors.secondaryLabel);
    painter.drawText(QRectF(sizeRight - sizeWidth, 0, sizeWidth, height()),
                     Qt::AlignRight | Qt::AlignVCenter, m_size);

    const QFontMetricsF nameMetrics(nameFont());
    const qreal nameWidth = sizeRight - sizeWidth - sizeSpacing - StyleRow::horizontalPadding;
    painter.setFont(nameFont());
    painter.setPen(colors.label);
    painter.drawText(QRectF(StyleRow::horizontalPadding, 0, nameWidth, height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     nameMetrics.elidedText(m_name, Qt::ElideRight, nameWidth));

    if (m_selected) {
        paintCheckmark(painter, check, colors.accent);
    }
}
