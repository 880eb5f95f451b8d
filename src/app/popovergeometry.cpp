#include "popovergeometry.h"

#include "preferences.h"

#include <QSizeF>

#include <algorithm>
#include <cmath>

std::optional<QSize> PopoverGeometry::requestedSize(const QVariantMap &userInfo)
{
    const QVariant size = userInfo.value(QStringLiteral("size"));
    QSizeF wanted;
    if (size.typeId() == QMetaType::QSizeF) {
        wanted = size.toSizeF();
    } else if (size.typeId() == QMetaType::QSize) {
        wanted = size.toSize();
    } else {
        return std::nullopt;
    }
    if (!std::isfinite(wanted.width()) || !std::isfinite(wanted.height())) {
        return std::nullopt;
    }
    const QSizeF bounded = Preferences::boundedPopoverSize(wanted);
    return QSize(int(std::lround(bounded.width())), int(std::lround(bounded.height())));
}

QRect PopoverGeometry::placement(const QRect &anchor, const QPoint &pointer, QSize size,
                                 const QRect &available)
{
    const QRect under = anchor.isValid() ? anchor : QRect(pointer, QSize(1, 1));
    QRect frame(QPoint(under.center().x() - size.width() / 2, under.bottom() + 1), size);
    if (frame.bottom() > available.bottom() && under.top() - size.height() >= available.top()) {
        frame.moveBottom(under.top() - 1);
    }
    // Within the screen's free area; a popover larger than it keeps its top-left corner in.
    frame.moveRight(std::min(frame.right(), available.right()));
    frame.moveBottom(std::min(frame.bottom(), available.bottom()));
    frame.moveLeft(std::max(frame.left(), available.left()));
    frame.moveTop(std::max(frame.top(), available.top()));
    return frame;
}

bool PopoverGeometry::closesPopover(const QRect &frame, bool visible, const QPoint &position,
                                    const QRect &statusItem, const QList<QRect> &ownWindows)
{
    return visible && !frame.contains(position) && !statusItem.contains(position) &&
           std::none_of(ownWindows.begin(), ownWindows.end(),
                        [&](const QRect &window) { return window.contains(position); });
}

QRect PopoverGeometry::panelAnchor(const QPoint &pointer, const QRect &available)
{
    QPoint at = pointer;
    if (pointer.y() < available.top()) {
        at.setY(available.top() - 1);
    } else if (pointer.y() > available.bottom()) {
        at.setY(available.bottom() + 1);
    }
    if (pointer.x() < available.left()) {
        at.setX(available.left() - 1);
    } else if (pointer.x() > available.right()) {
        at.setX(available.right() + 1);
    }
    return QRect(at, QSize(1, 1));
}

bool PopoverGeometry::endsClosingClick(const std::optional<QPoint> &press, qint64 elapsed,
                                       const QPoint &pointer)
{
    // A click takes a few hundred milliseconds from press to the tray's message; the pointer
    // barely moves on the way. Told by time alone, a quick click elsewhere and then on the icon
    // must still open the popover again.
    constexpr qint64 clickTime = 1500;
    constexpr qint64 unseenClickTime = 600;
    constexpr int stillness = 8;
    if (!press) {
        return elapsed >= 0 && elapsed <= unseenClickTime;
    }
    return elapsed >= 0 && elapsed <= clickTime &&
           (pointer - *press).manhattanLength() <= stillness;
}
