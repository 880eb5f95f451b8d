#include "apptheme.h"

#include <QEvent>

#include <QApplication>
#include <QStyleFactory>
#include <QWidget>

namespace {

AppTheme::Scheme currentScheme = AppTheme::Scheme::light;

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

const AppTheme::Colors lightColors{
    .label = withAlpha(Qt::black, 0.85),
    .secondaryLabel = withAlpha(Qt::black, 0.5),
    .tertiaryLabel = withAlpha(Qt::black, 0.26),
    .placeholder = withAlpha(Qt::black, 0.25),
    .separator = withAlpha(Qt::black, 0.1),
    .accent = QColor::fromRgbF(0, 0.48f, 1.0f),
    .window = QColor(0xec, 0xec, 0xec),
    .tint = withAlpha(Qt::white, 0.5),
    .alert = QColor::fromRgbF(1.0f, 0.23f, 0.19f),
    .success = QColor(52, 199, 89),
};

const AppTheme::Colors darkColors{
    .label = withAlpha(Qt::white, 0.85),
    .secondaryLabel = withAlpha(Qt::white, 0.55),
    .tertiaryLabel = withAlpha(Qt::white, 0.25),
    .placeholder = withAlpha(Qt::white, 0.25),
    .separator = withAlpha(Qt::white, 0.1),
    .accent = QColor::fromRgbF(0, 0.48f, 1.0f),
    .window = QColor(0x2d, 0x2d, 0x2d),
    .tint = withAlpha(Qt::black, 0.15),
    .alert = QColor::fromRgbF(1.0f, 0.27f, 0.23f),
    .success = QColor(48, 209, 88),
};

// Solid colours for the palette roles: the label colours over the window colour.
QColor over(const QColor &top, const QColor &bottom)
{
    const qreal a = top.alphaF();
    return QColor::fromRgbF(float(top.redF() * a + bottom.redF() * (1 - a)),
                            float(top.greenF() * a + bottom.greenF() * (1 - a)),
                            float(top.blueF() * a + bottom.blueF() * (1 - a)));
}

} // namespace

void AppTheme::apply(Scheme scheme)
{
    currentScheme = scheme;
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(palette(scheme));
}

bool AppTheme::isSchemeChange(const QEvent *event)
{
    switch (event->type()) {
    case QEvent::StyleChange:
    case QEvent::ApplicationPaletteChange:
    case QEvent::PaletteChange:
        return true;
    default:
        return false;
    }
}

AppTheme::Scheme AppTheme::current()
{
    return currentScheme;
}

const AppTheme::Colors &AppTheme::colors(Scheme scheme)
{
    return scheme == Scheme::dark ? darkColors : lightColors;
}

QPalette AppTheme::palette(Scheme scheme)
{
    const Colors &c = colors(scheme);
    const bool dark = scheme == Scheme::dark;
    const QColor window = c.window;
    const QColor text = over(c.label, window);
    const QColor base = dark ? QColor(0x1e, 0x1e, 0x1e) : QColor(Qt::white);
    const QColor button = dark ? QColor(0x3a, 0x3a, 0x3a) : QColor(0xf6, 0xf6, 0xf6);

    QPalette palette(button, window);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, window);
        palette.setColor(group, QPalette::WindowText, text);
        palette.setColor(group, QPalette::Base, base);
        palette.setColor(group, QPalette::AlternateBase, over(c.separator, base));
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::Button, button);
        palette.setColor(group, QPalette::ButtonText, text);
        palette.setColor(group, QPalette::BrightText, dark ? Qt::white : Qt::black);
        palette.setColor(group, QPalette::PlaceholderText, over(c.placeholder, base));
        palette.setColor(group, QPalette::Highlight, c.accent);
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
        palette.setColor(group, QPalette::Link, c.accent);
        palette.setColor(group, QPalette::ToolTipBase,
                         dark ? QColor(0x40, 0x40, 0x40) : QColor(0xfd, 0xfd, 0xfd));
        palette.setColor(group, QPalette::ToolTipText, text);
    }
    const QColor disabledText = over(c.tertiaryLabel, window);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, disabledText);
    }
    palette.setColor(QPalette::Disabled, QPalette::Window, window);
    palette.setColor(QPalette::Disabled, QPalette::Base, window);
    palette.setColor(QPalette::Disabled, QPalette::Highlight, over(c.secondaryLabel, window));
    return palette;
}

QFont AppTheme::font(const QFont &base, int pixelSize, QFont::Weight weight)
{
    QFont font = base;
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

void AppTheme::setTextColor(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::WindowText, color);
        palette.setColor(group, QPalette::Text, color);
    }
    widget->setPalette(palette);
}
