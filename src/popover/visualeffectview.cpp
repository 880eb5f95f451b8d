#include "visualeffectview.h"

#include "apptheme.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>

VisualEffectView::VisualEffectView(QWidget *parent)
    : QWidget(parent)
{}

void VisualEffectView::setCornerRadius(qreal radius)
{
    if (qFuzzyCompare(radius, m_cornerRadius)) {
        return;
    }
    m_cornerRadius = radius;
    requestBlur();
    update();
}

bool VisualEffectView::showsDesktop() const
{
    for (const VisualEffectView *backdrop = this; backdrop; backdrop = backdrop->enclosing()) {
        if (backdrop->m_opaque) {
            return false;
        }
    }
    return window()->testAttribute(Qt::WA_TranslucentBackground);
}

void VisualEffectView::setOpaque(bool opaque)
{
    m_opaque = opaque;
    update();
}

QPainterPath VisualEffectView::shape() const
{
    QPainterPath path;
    if (m_cornerRadius > 0) {
        path.addRoundedRect(QRectF(rect()), m_cornerRadius, m_cornerRadius);
    } else {
        path.addRect(QRectF(rect()));
    }
    return path;
}

void VisualEffectView::paintEvent(QPaintEvent *)
{
    // The scheme is read at every paint, so a change of scheme shows at the next one.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, m_cornerRadius > 0);
    const AppTheme::Colors &colors = AppTheme::colors();
    const QPainterPath path = shape();
    // Within the backdrop it lies on: the corners of a rounded window stay clear.
    if (const VisualEffectView *outer = enclosing()) {
        painter.setClipPath(outer->shape().translated(-mapTo(outer, QPoint(0, 0))));
    }
    if (!showsDesktop()) {
        painter.fillPath(path, colors.window);
    }
    painter.fillPath(path, colors.tint);
}

void VisualEffectView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    requestBlur();
}

void VisualEffectView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    requestBlur();
}

void VisualEffectView::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    requestBlur();
}

void VisualEffectView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (AppTheme::isSchemeChange(event)) {
        update();
    }
}

const VisualEffectView *VisualEffectView::enclosing() const
{
    for (const QWidget *ancestor = parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
        if (const auto *backdrop = qobject_cast<const VisualEffectView *>(ancestor)) {
            return backdrop;
        }
        if (ancestor->isWindow()) {
            break;
        }
    }
    return nullptr;
}

void VisualEffectView::requestBlur()
{
    // A nested backdrop lies over the outer one's blur already; the window has one region.
    if (!isVisible() || !showsDesktop() || enclosing()) {
        return;
    }
    QWindow *handle = window()->windowHandle();
    if (!handle) {
        return;
    }
    const QPoint origin = mapTo(window(), QPoint(0, 0));
    emit blurRequested(handle, QRegion(shape().translated(origin).toFillPolygon().toPolygon()));
}
