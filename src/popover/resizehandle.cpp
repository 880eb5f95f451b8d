#include "resizehandle.h"

#include "appnotifier.h"
#include "apptheme.h"
#include "cursormodifier.h"
#include "preferences.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

ResizeHandle::ResizeHandle(Preferences &preferences, QWidget *parent)
    : QWidget(parent)
    , m_preferences(preferences)
{
    // Only the stroke is painted: whatever lies below shows through the rest.
    setFixedSize(hitSize, hitSize);
    new CursorModifier(this, Qt::PointingHandCursor);
}

void ResizeHandle::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The canvas is the bottom-right part of the hit area, so its corner is the widget's.
    const qreal w = width();
    const qreal h = height();
    QPainterPath arc(QPointF(w - 3, h - 17));
    arc.quadTo(QPointF(w - 3, h - 3), QPointF(w - 17, h - 3));
    QPen pen(AppTheme::colors().tertiaryLabel, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setOpacity(0.6);
    painter.setPen(pen);
    painter.drawPath(arc);
}

void ResizeHandle::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_pressPosition = event->globalPosition();
    m_startSize = m_preferences.resizeOrigin();
    event->accept();
}

void ResizeHandle::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressPosition) {
        event->ignore();
        return;
    }
    request(event->globalPosition(), false);
}

void ResizeHandle::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_pressPosition || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    request(event->globalPosition(), true);
    m_pressPosition.reset();
}

void ResizeHandle::request(const QPointF &globalPosition, bool final)
{
    const QPointF moved = globalPosition - *m_pressPosition;
    const QSizeF wanted =
        Preferences::boundedPopoverSize(m_startSize + QSizeF(moved.x(), moved.y()));
    QVariantMap userInfo{{QStringLiteral("size"), wanted}};
    if (final) {
        userInfo.insert(QStringLiteral("final"), true);
    }
    AppNotifier::instance().post(AppNotifier::popoverResizeRequested, userInfo);
}
