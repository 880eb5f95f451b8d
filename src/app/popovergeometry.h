#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QVariant>

class QSettings;

// Where the popover goes and how big it is; pure functions the shell and its tests share.
class PopoverGeometry
{
public:
    static constexpr QSize defaultSize{780, 460};
    static constexpr QSize minimumSize{720, 380};
    static constexpr QSize maximumSize{1200, 900};

    // The stored "popoverWidth" and "popoverHeight"; each falls back to the default when it is
    // absent, not a number, or not above zero, and is kept within the resize limits.
    static QSize storedSize(const QSettings &settings);
    // The size a "popoverResizeRequested" message asks for, within the limits; nothing when
    // the message carries no usable "size".
    static std::optional<QSize> requestedSize(const QVariantMap &userInfo);
    static void storeSize(QSettings &settings, QSize size);

    // The popover's frame: centred under `anchor` (the tray icon) or, when the tray tells
    // nothing, under the pointer; above the anchor when there is no room below; always within
    // `available` as far as it fits, its top-left corner first.
    static QRect placement(const QRect &anchor, const QPoint &pointer, QSize size,
                           const QRect &available);

    // A press at `position` closes a visible popover unless it lies on its frame, edges
    // included, or on the tray icon `statusItem`: that press is the icon's own click, which
    // toggles the popover itself (closing it first would open it again at once).
    static bool closesPopover(const QRect &frame, bool visible, const QPoint &position,
                              const QRect &statusItem = {});
};
