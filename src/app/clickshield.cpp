#include "clickshield.h"

#include <QMouseEvent>
#include <QTimer>

ClickShield::ClickShield(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint |
                          Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint)
{
    // Fully clear: the desktop shows through as if nothing were there.
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
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
