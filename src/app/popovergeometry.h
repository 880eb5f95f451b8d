#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QVariant>

#include <optional>

// Where the popover goes and how big it is; pure functions the shell and its tests share.
class PopoverGeometry
{
public:
    // The size a "popoverResizeRequested" message asks for, within the popover's limits;
    // nothing when the message carries no usable "size".
    static std::optional<QSize> requestedSize(const QVariantMap &userInfo);

    // The popover's frame: centred under `anchor` (the tray icon) or, when the tray tells
    // nothing, under the pointer; above the anchor when there is no room below; always within
    // `available` as far as it fits, its top-left corner first.
    static QRect placement(const QRect &anchor, const QPoint &pointer, QSize size,
                           const QRect &available);

    // A press at `position` closes a visible popover unless it lies on its frame, edges
    // included, on another window of the program (`ownWindows`: a menu or list that sticks out
    // of the popover), or on the tray icon `statusItem`: that press is the icon's own click,
    // which toggles the popover itself (closing it first would open it again at once).
    static bool closesPopover(const QRect &frame, bool visible, const QPoint &position,
                              const QRect &statusItem = {}, const QList<QRect> &ownWindows = {});

    // Where the popover hangs from when the tray does not tell where its icon is: the pointer
    // of the click, moved onto the inner edge of the panel it is on, which is where the
    // screen's `available` area ends.
    static QRect panelAnchor(const QPoint &pointer, const QRect &available);

    // Whether a tray icon's activation ends the click whose press closed the popover as a
    // press outside it (trays that do not tell where their icon is): it comes soon after that
    // press, `elapsed` ms, with the pointer still where it was pressed. Where presses are not
    // seen (Wayland: the popover closed when the click took the keyboard away), there is no
    // `press`, and only a shorter time tells.
    static bool endsClosingClick(const std::optional<QPoint> &press, qint64 elapsed,
                                 const QPoint &pointer);
};
