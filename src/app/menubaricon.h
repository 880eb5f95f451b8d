#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// The tray icon: the glyph "translate-01" drawn at 18 px (and 36 px for dense screens) in one
// colour, since only its shape counts; the two speech bubbles drawn here when the glyph cannot
// be loaded; an empty 18 px image as the last resort.
class MenuBarIcon
{
public:
    static constexpr int size = 18;
    static inline const QString glyphPath = QStringLiteral(":/icons/translate-01.svg");

    static QIcon make(const QColor &color, const QString &path = glyphPath);
    // The fallback glyph alone, for one device-pixel ratio.
    static QPixmap speechBubbles(const QColor &color, qreal devicePixelRatio);
};
