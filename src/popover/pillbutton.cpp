#include "pillbutton.h"

#include "apptheme.h"
#include "glyph.h"

#include <QEnterEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace {

constexpr int horizontalPadding = 12;
constexpr int verticalPadding = 6;
constexpr int labelSpacing = 4;
constexpr int textSize = 13;
constexpr int sparkleSize = 11;

} // namespace

PillButton::PillButton(const Language &language, bool showsSparkle, QWidget *parent)
    : QAbstractButton(parent)
    , m_language(language)
    , m_showsSparkle(showsSparkle)
{
    setText(language.name); // read by accessibility tools, never drawn from here
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void PillButton::setSelected(bool selected)
{
    if (selected == m_selected) {
        return;
    }
    m_selected = selected;
    updateGeometry();
    update();
}

QFont PillButton::labelFont() const
{
    QFont font = this->font();
    font.setPixelSize(textSize);
    font.setWeight(m_selected ? QFont::DemiBold : QFont::Normal);
    return font;
}

QSize PillButton::sizeHint() const
{
    const QFontMetricsF metrics(labelFont());
    qreal width = metrics.horizontalAdvance(m_language.name);
    qreal height = metrics.height();
    if (m_showsSparkle) {
        width += sparkleSize + labelSpacing;
        height = std::max(height, qreal(sparkleSize));
    }
    return {int(std::ceil(width)) + 2 * horizontalPadding,
            int(std::ceil(height)) + 2 * verticalPadding};
}

void PillButton::paintEvent(QPaintEvent *)
{
    const AppTheme::Colors &colors = AppTheme::colors();
    const QColor color =
        m_selected ? QColor(Qt::white) : (m_hovered ? colors.label : colors.secondaryLabel);
    const QFont font = labelFont();
    const QFontMetricsF metrics(font);
    const qreal textWidth = metrics.horizontalAdvance(m_language.name);
    const qreal sparkle = m_showsSparkle ? sparkleSize : 0;
    const qreal contentWidth = textWidth + (m_showsSparkle ? sparkle + labelSpacing : 0);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    qreal x = (width() - contentWidth) / 2;
    if (m_showsSparkle) {
        // Centred on the capitals, which every name starts with.
        const qreal baseline = (height() - metrics.height()) / 2 + metrics.ascent();
        const qreal middle = baseline - metrics.capHeight() / 2;
        Glyph::paint(painter, QRectF(x, middle - sparkle / 2, sparkle, sparkle),
                     QStringLiteral("sparkle"), sparkleSize, color);
        x += sparkle + labelSpacing;
    }
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QRectF(x, 0, textWidth + 1, height()), Qt::AlignLeft | Qt::AlignVCenter,
                     m_language.name);
}

void PillButton::enterEvent(QEnterEvent *event)
{
    setHovered(true);
    QAbstractButton::enterEvent(event);
}

void PillButton::leaveEvent(QEvent *event)
{
    setHovered(false);
    QAbstractButton::leaveEvent(event);
}

void PillButton::hideEvent(QHideEvent *event)
{
    setHovered(false); // no leave comes when the popover closes under the pointer
    QAbstractButton::hideEvent(event);
}

void PillButton::setHovered(bool hovered)
{
    if (hovered != m_hovered) {
        m_hovered = hovered;
        update();
    }
}
