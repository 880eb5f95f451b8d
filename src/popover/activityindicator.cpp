#include "activityindicator.h"

#include "apptheme.h"

#include <QPainter>
#include <QTimerEvent>

ActivityIndicator::ActivityIndicator(int diameter, QWidget *parent)
    : QWidget(parent)
    , m_diameter(diameter)
{
    setFixedSize(diameter, diameter);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ActivityIndicator::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_timer.start(stepMilliseconds, Qt::CoarseTimer, this);
}

void ActivityIndicator::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_timer.stop();
}

void ActivityIndicator::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    m_step = (m_step + 1) % spokes;
    update();
}

void ActivityIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal radius = m_diameter / 2.0;
    const qreal thickness = std::max(1.5, m_diameter / 11.0);
    QPen pen(AppTheme::colors().label, thickness, Qt::SolidLine, Qt::RoundCap);
    painter.translate(radius, radius);
    // The spoke at the head of the turn is the darkest; those behind it fade out.
    for (int i = 0; i < spokes; ++i) {
        const int age = (m_step - i + spokes) % spokes;
        painter.setOpacity(1.0 - 0.8 * age / (spokes - 1));
        painter.setPen(pen);
        painter.drawLine(QPointF(0, -radius * 0.5), QPointF(0, -radius + thickness / 2));
        painter.rotate(360.0 / spokes);
    }
}
