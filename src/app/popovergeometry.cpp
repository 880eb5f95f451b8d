#include "popovergeometry.h"

#include "preferences.h"

#include <QSizeF>

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
                                    const QRect &statusItem)
{
    return visible && !frame.contains(position) && !statusItem.contains(position);
}
