#include "actionicon.h"

#include "apptheme.h"
#include "glyph.h"

#include <QEnterEvent>
#include <QPainter>

#include <algorithm>

ActionIcon::ActionIcon(const QString &glyph, const QString &toolTip, QWidget *parent)
    : QAbstractButton(parent)
    , m_glyph(glyph)
{
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(frameSize, frameSize);
    setToolTip(toolTip);
}

void ActionIcon::setGlyph(const QString &glyph)
{
    if (glyph != m_glyph) {
        m_glyph = glyph;
        update();
    }
}

void ActionIcon::setActive(bool active)
{
    if (active != m_active) {
        m_active = active;
        update();
    }
}

void ActionIcon::setLevel(qreal level)
{
    level = std::clamp(level, 0.0, 1.0);
    if (level != m_level) {
        m_level = level;
        update();
    }
}

QSize ActionIcon::sizeHint() const
{
    return {frameSize, frameSize};
}

QColor ActionIcon::activeColor()
{
    return QColor::fromRgbF(1.0f, 0.27f, 0.27f);
}

bool ActionIcon::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTipChange) {
        setAccessibleName(toolTip());
    }
    return QAbstractButton::event(event);
}

void ActionIcon::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void ActionIcon::leaveEvent(QEvent *event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void ActionIcon::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange) {
        update();
    }
    QAbstractButton::changeEvent(event);
}

void ActionIcon::paintEvent(QPaintEvent *)
{
    const AppTheme::Colors &colors = AppTheme::colors();
    const bool dark = AppTheme::current() == AppTheme::Scheme::dark;
    // Qt still reports the pointer over a disabled button; lighting it up would promise a
    // press that does nothing.
    const bool hovered = m_hovered && isEnabled();

    QColor glyphColor = colors.secondaryLabel;
    QColor disc; // none
    if (m_active) {
        glyphColor = activeColor();
        disc = activeColor();
        disc.setAlphaF(float(0.12 + 0.4 * m_level));
    } else if (hovered) {
        glyphColor = colors.label;
        disc = dark ? QColor::fromRgbF(1, 1, 1, 0.1f) : QColor::fromRgbF(0, 0, 0, 0.08f);
    }

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) {
        painter.setOpacity(0.35);
    }
    if (disc.isValid()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(disc);
        painter.drawEllipse(QRectF(rect()));
    }
    Glyph::paint(painter, rect(), m_glyph, glyphSize, glyphColor, Glyph::Order::ownFirst);
}
