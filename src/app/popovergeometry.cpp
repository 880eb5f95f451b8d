#include "popovergeometry.h"

#include <QSettings>
#include <QSizeF>

#include <cmath>

namespace {

int storedLength(const QSettings &settings, const QString &key, int fallback, int minimum,
                 int maximum)
{
    bool isNumber = false;
    const double value = settings.value(key).toDouble(&isNumber);
    if (!isNumber || !std::isfinite(value) || value <= 0) {
        return fallback;
    }
    return int(std::lround(std::clamp(value, double(minimum), double(maximum))));
}

} // namespace

QSize PopoverGeometry::storedSize(const QSettings &settings)
{
    return {storedLength(settings, QStringLiteral("popoverWidth"), defaultSize.width(),
                         minimumSize.width(), maximumSize.width()),
            storedLength(settings, QStringLiteral("popoverHeight"), defaultSize.height(),
                         minimumSize.height(), maximumSize.height())};
}

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
    return QSize(int(std::lround(std::clamp(wanted.width(), double(minimumSize.width()),
                                            double(maximumSize.width())))),
                 int(std::lround(std::clamp(wanted.height(), double(minimumSize.height()),
                                            double(maximumSize.height())))));
}

void PopoverGeometry::storeSize(QSettings &settings, QSize size)
{
    settings.setValue(QStringLiteral("popoverWidth"), double(size.width()));
    settings.setValue(QStringLiteral("popoverHeight"), double(size.height()));
    settings.setValue(QStringLiteral("popoverSize"),
                      QVariantMap{{QStringLiteral("width"), double(size.width())},
                                  {QStringLiteral("height"), double(size.height())}});
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
