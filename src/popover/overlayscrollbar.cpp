#include "overlayscrollbar.h"

#include "apptheme.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

OverlayScrollBar::OverlayScrollBar(QScrollBar *source, QWidget *parent)
    : QWidget(parent)
    , m_source(source)
{
    hide();
    m_hideTimer.setSingleShot(true);
    m_hideTimer.setInterval(linger);
    connect(&m_hideTimer, &QTimer::timeout, this, &OverlayScrollBar::hideUnlessHeld);
    connect(source, &QScrollBar::valueChanged, this, &OverlayScrollBar::flash);
    connect(source, &QScrollBar::rangeChanged, this, [this] {
        if (!hasRange()) {
            hide();
        } else if (isVisible()) {
            update();
        }
    });
}

bool OverlayScrollBar::hasRange() const
{
    return m_source->maximum() > m_source->minimum();
}

void OverlayScrollBar::flash()
{
    if (!hasRange()) {
        hide();
        return;
    }
    show();
    raise();
    update();
    m_hideTimer.start();
}

void OverlayScrollBar::hideUnlessHeld()
{
    if (m_drag || underMouse()) {
        m_hideTimer.start();
        return;
    }
    hide();
}

QRectF OverlayScrollBar::knobRect() const
{
    const qreal track = height();
    const qreal span = std::max(1, m_source->maximum() - m_source->minimum());
    const qreal page = std::max(1, m_source->pageStep());
    const qreal length =
        std::min(track, std::max(qreal(minimumKnobLength), track * page / (span + page)));
    const qreal top = (track - length) * (m_source->value() - m_source->minimum()) / span;
    return {(width() - knobWidth) / 2.0, top, qreal(knobWidth), length};
}

void OverlayScrollBar::paintEvent(QPaintEvent *)
{
    if (!hasRange()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(AppTheme::colors().secondaryLabel);
    painter.drawRoundedRect(knobRect(), knobWidth / 2.0, knobWidth / 2.0);
}

void OverlayScrollBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !hasRange()) {
        event->ignore();
        return;
    }
    const QRectF knob = knobRect();
    const qreal y = event->position().y();
    if (y < knob.top()) {
        m_source->triggerAction(QAbstractSlider::SliderPageStepSub);
    } else if (y > knob.bottom()) {
        m_source->triggerAction(QAbstractSlider::SliderPageStepAdd);
    } else {
        m_drag = {y, m_source->value()};
    }
    m_hideTimer.start();
}

void OverlayScrollBar::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_drag) {
        return;
    }
    const qreal travel = height() - knobRect().height();
    if (travel <= 0) {
        return;
    }
    const qreal span = m_source->maximum() - m_source->minimum();
    const qreal moved = event->position().y() - m_drag->first;
    m_source->setValue(m_drag->second + qRound(moved * span / travel));
}

void OverlayScrollBar::mouseReleaseEvent(QMouseEvent *)
{
    m_drag.reset();
    m_hideTimer.start();
}

void OverlayScrollBar::wheelEvent(QWheelEvent *event)
{
    QCoreApplication::sendEvent(m_source, event);
}

void OverlayScrollBar::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    m_hideTimer.start();
}
