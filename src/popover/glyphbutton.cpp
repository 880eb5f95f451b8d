#include "glyphbutton.h"

#include "apptheme.h"
#include "glyph.h"

#include <QEnterEvent>
#include <QPainter>

GlyphButton::GlyphButton(Look look, const QString &toolTip, QWidget *parent)
    : QAbstractButton(parent)
    , m_look(std::move(look))
{
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(m_look.frameSize, m_look.frameSize);
    setToolTip(toolTip);
    setAccessibleName(toolTip);
}

QSize GlyphButton::sizeHint() const
{
    return {m_look.frameSize, m_look.frameSize};
}

void GlyphButton::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void GlyphButton::leaveEvent(QEvent *event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void GlyphButton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange) {
        update();
    }
    QAbstractButton::changeEvent(event);
}

void GlyphButton::paintEvent(QPaintEvent *)
{
    const AppTheme::Colors &colors = AppTheme::colors();
    const bool hovered = m_hovered && isEnabled();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) {
        painter.setOpacity(0.35);
    }
    if (hovered && m_look.hoverDisc) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(AppTheme::current() == AppTheme::Scheme::dark
                             ? QColor::fromRgbF(1, 1, 1, 0.1f)
                             : QColor::fromRgbF(0, 0, 0, 0.08f));
        painter.drawEllipse(QRectF(rect()));
    }
    Glyph::paint(painter, rect(), m_look.glyph, m_look.glyphSize,
                 hovered ? colors.label : colors.secondaryLabel, Glyph::Order::ownFirst);
}
