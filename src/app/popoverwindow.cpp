#include "popoverwindow.h"

#include "popovercontentview.h"
#include "visualeffectview.h"
#include "windowhints.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPainterPath>
#include <QRegion>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QPainterPath roundedShape(const QRectF &rect)
{
    QPainterPath path;
    path.addRoundedRect(rect, PopoverWindow::cornerRadius, PopoverWindow::cornerRadius);
    return path;
}

} // namespace

PopoverWindow::PopoverWindow(PopoverContentView *content, bool translucent, bool layered,
                             QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::NoDropShadowWindowHint |
                          (layered ? Qt::BypassWindowManagerHint : Qt::WindowFlags()))
    , m_content(content)
    , m_translucent(translucent)
    , m_clearCorners(translucent || layered)
{
    setWindowTitle(QStringLiteral("Parlora - Quenzal"));
    // Wayland compositors draw every window with its alpha: there the corners are left clear
    // (a mask would only shape where clicks land), and the backdrop stays opaque unless the
    // desktop is meant to show through.
    setAttribute(Qt::WA_TranslucentBackground, m_clearCorners);
    setAttribute(Qt::WA_NoSystemBackground, m_clearCorners);
    auto *backdrop = new VisualEffectView(this);
    backdrop->setCornerRadius(cornerRadius);
    backdrop->setOpaque(!translucent);
    connect(backdrop, &VisualEffectView::blurRequested, this,
            [](QWindow *window, const QRegion &region) {
                WindowHints::requestBlurBehind(window, true, region);
            });
    auto *backdropLayout = new QVBoxLayout(backdrop);
    backdropLayout->setContentsMargins(0, 0, 0, 0);
    backdropLayout->addWidget(content);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(backdrop);
}

void PopoverWindow::paintEvent(QPaintEvent *)
{
    // The backdrop paints the window; its children follow in the same pass.
    emit painted();
}

void PopoverWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (!m_clearCorners) {
        // Without a compositor the corners are cut out of the window itself.
        setMask(QRegion(roundedShape(rect()).toFillPolygon().toPolygon()));
    }
}

void PopoverWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
        emit deactivated();
    }
}

void PopoverWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        emit dismissRequested();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PopoverWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Not from inside the hide: the window system may still be talking about this window.
    QTimer::singleShot(0, this, [this] {
        if (!isVisible() && testAttribute(Qt::WA_WState_Created)) {
            destroy();
        }
    });
}
