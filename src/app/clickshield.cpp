#include "clickshield.h"

#include <QMouseEvent>
#include <QRegion>
#include <QTimer>

ClickShield::ClickShield(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint |
                          Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint)
{
    // Fully clear: the desktop shows through as if nothing were there.
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
}

void ClickShield::setOpening(QMargins fromTopRight, QSize size)
{
    m_openingMargins = fromTopRight;
    m_openingSize = size;
    cutOpening();
}

void ClickShield::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    cutOpening();
}

void ClickShield::cutOpening()
{
    // On Wayland a window's mask is the part of its surface that takes input.
    const QRect opening(width() - m_openingMargins.right() - m_openingSize.width(),
                        m_openingMargins.top(), m_openingSize.width(), m_openingSize.height());
    setMask(QRegion(rect()) - opening);
}

void ClickShield::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    emit pressed();
}

void ClickShield::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    QTimer::singleShot(0, this, [this] {
        if (!isVisible() && testAttribute(Qt::WA_WState_Created)) {
            destroy();
        }
    });
}
