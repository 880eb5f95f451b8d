#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

class QEvent;
class QWidget;

// The two colour schemes of the app. The scheme is chosen once at start from the stored
// "appTheme" ("dark" selects dark, anything else light) and set explicitly on the application,
// so the app never follows the desktop's own scheme. Every view takes its colours from here.
class AppTheme
{
public:
    enum class Scheme { light, dark };

    // The text colours and lines custom-painted views use, beside the QPalette roles.
    struct Colors
    {
        QColor label;
        QColor secondaryLabel;
        QColor tertiaryLabel;
        QColor placeholder;
        QColor separator;
        QColor accent;  // the system blue
        QColor window;  // behind the popover's tint when nothing translucent is possible
        QColor tint;    // laid over the popover's backdrop
        QColor alert;   // failures and warnings: the system red
        QColor success; // the system green
    };

    // Sets the Fusion style and the scheme's palette on the application.
    static void apply(Scheme scheme);
    // Whether `event` may bring a new scheme: apply() changes the palette and the style
    // together, and a widget hears of either first.
    static bool isSchemeChange(const QEvent *event);
    static Scheme current();

    static QPalette palette(Scheme scheme);
    static const Colors &colors(Scheme scheme);
    static const Colors &colors() { return colors(current()); }

    // `base` at `pixelSize` device-independent pixels and `weight`: the views give their sizes
    // in pixels, as the popover's layout does.
    static QFont font(const QFont &base, int pixelSize, QFont::Weight weight = QFont::Normal);
    // Gives `widget` its own text colour (WindowText and Text, in every state), kept when the
    // application palette changes.
    static void setTextColor(QWidget *widget, const QColor &color);
};
