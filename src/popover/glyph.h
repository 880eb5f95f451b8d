#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

class QPainter;
class QRectF;

// The small monochrome pictures of the popover and the tray menu, by our own names: "copy",
// "microphone", "clear", "speak", "stop", "settings", "swap", "sparkle", "warning", "info",
// "report", "power" and "window".
//
// A glyph comes from the desktop's icon theme or from the artwork drawn for this program
// (":/glyphs/<name>.svg"), and is always filled with one colour: only the alpha of the picture
// is kept, so a coloured theme icon and our black strokes alike take the colour of the label
// they stand beside. An unknown name, or a name neither source has, gives a null pixmap.
//
// The popover's controls ask for our artwork first. Themes disagree on weight, size within the
// frame and even on the picture (one theme's "edit-clear" is a broom, another's a backspace
// key); in a row of buttons that share one capsule the mix shows at once, while our set is drawn
// to one stroke and one grid. The theme remains the second choice there, and may come first
// where the desktop's own look matters more than ours, as in the tray's context menu.
class Glyph
{
public:
    enum class Order {
        themeFirst, // the icon theme, then our artwork
        ownFirst,   // our artwork, then the icon theme
    };

    static QStringList names();
    // The icon theme names tried for a glyph, in order; empty where no theme name means the
    // same picture (there is no standard name for a pair of opposite arrows, say).
    static QStringList themeNames(const QString &name);

    // A `pixelSize` square in device-independent pixels, with `devicePixelRatio` device pixels
    // to each.
    static QPixmap pixmap(const QString &name, int pixelSize, const QColor &color,
                          Order order = Order::themeFirst, qreal devicePixelRatio = 1.0);
    // An icon that draws the glyph at whatever size and scale it is asked for; its disabled
    // mode is the same colour, fainter. A null icon for an unknown name.
    static QIcon icon(const QString &name, const QColor &color, Order order = Order::themeFirst);

    // Draws the glyph at `pixelSize`, centred in `rect` but put on whole device pixels so the
    // strokes stay sharp, at the scale of the painter's device.
    static void paint(QPainter &painter, const QRectF &rect, const QString &name, int pixelSize,
                      const QColor &color, Order order = Order::ownFirst);
};
