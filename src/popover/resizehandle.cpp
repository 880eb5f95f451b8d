#include "resizehandle.h"

#include "appnotifier.h"
#include "apptheme.h"
#include "cursormodifier.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSettings>

#include <algorithm>
#include <cmath>

namespace {

std::optional<double> number(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        break;
    default:
        return std::nullopt;
    }
    const double result = value.toDouble();
    return std::isfinite(result) ? std::optional(result) : std::nullopt;
}

} // namespace

ResizeHandle::ResizeHandle(QSettings &settings, QWidget *parent)
    : QWidget(parent)
    , m_settings(settings)
{
    // Only the stroke is painted: whatever lies below shows through the rest.
    setFixedSize(hitSize, hitSize);
    new CursorModifier(this, Qt::PointingHandCursor);
}

QSizeF ResizeHandle::storedSize(const QSettings &settings)
{
    const QVariantMap stored = settings.value(QStringLiteral("popoverSize")).toMap();
    const std::optional<double> width = number(stored.value(QStringLiteral("width")));
    const std::optional<double> height = number(stored.value(QStringLiteral("height")));
    if (!width || !height) {
        return defaultSize;
    }
    return {*width, *height};
}

QSizeF ResizeHandle::clamped(QSizeF size)
{
    return {std::max(std::min(size.width(), maximumSize.width()), minimumSize.width()),
            std::max(std::min(size.height(), maximumSize.height()), minimumSize.height())};
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
    m_startSize = storedSize(m_settings);
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
    const QSizeF wanted = clamped(m_startSize + QSizeF(moved.x(), moved.y()));
    QVariantMap userInfo{{QStringLiteral("size"), wanted}};
    if (final) {
        userInfo.insert(QStringLiteral("final"), true);
    }
    AppNotifier::instance().post(AppNotifier::popoverResizeRequested, userInfo);
}
