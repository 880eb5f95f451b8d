#include "capsulebuttongroup.h"

#include "apptheme.h"

#include <QHBoxLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

QColor white(float alpha)
{
    return QColor::fromRgbF(1, 1, 1, alpha);
}

QPainterPath capsule(const QRectF &rect)
{
    QPainterPath path;
    const qreal radius = std::min(rect.width(), rect.height()) / 2;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

} // namespace

CapsuleButtonGroup::CapsuleButtonGroup(QWidget *parent)
    : QWidget(parent)
    , m_layout(new QHBoxLayout(this))
{
    m_layout->setContentsMargins(horizontalPadding, verticalPadding, horizontalPadding,
                                 verticalPadding);
    m_layout->setSpacing(spacing);
    // The capsule is as long as its controls need and no longer.
    m_layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CapsuleButtonGroup::addWidget(QWidget *widget)
{
    m_layout->addWidget(widget, 0, Qt::AlignVCenter);
}

int CapsuleButtonGroup::count() const
{
    return m_layout->count();
}

void CapsuleButtonGroup::paintEvent(QPaintEvent *)
{
    const bool dark = AppTheme::current() == AppTheme::Scheme::dark;
    const QRectF bounds = rect();

    QLinearGradient fill(bounds.topLeft(), bounds.bottomRight());
    fill.setColorAt(0, white(dark ? 0.12f : 0.75f));
    fill.setColorAt(1, white(dark ? 0.05f : 0.35f));
    QLinearGradient edge(bounds.topLeft(), bounds.bottomRight());
    edge.setColorAt(0, white(dark ? 0.1f : 0.8f));
    edge.setColorAt(1, white(dark ? 0.06f : 0.3f));

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawPath(capsule(bounds));
    // Half a point in, so the whole of the 1-point line falls inside the capsule.
    painter.setPen(QPen(QBrush(edge), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(capsule(bounds.adjusted(0.5, 0.5, -0.5, -0.5)));
}
