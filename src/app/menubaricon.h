#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>

// The tray icon: the glyph "translate-01" drawn at 18 px (and 36 px for dense screens) in one
// colour, since only its shape counts; the two speech bubbles drawn here when the glyph cannot
// be loaded; an empty 18 px image as the last resort.
class MenuBarIcon
{
public:
    static constexpr int size = 18;
    static inline const QString glyphPath = QStringLiteral(":/icons/translate-01.svg");

    // `themeName`, when given, goes with the pixmaps for trays that look icons up by name.
    static QIcon make(const QColor &color, const QString &path = glyphPath,
                      const QString &themeName = {});
    // The colour a tray shows around the glyph in `iconArea`, a picture of the icon's place:
    // the median of its outer band, where the glyph never reaches.
    static QColor backgroundOf(const QImage &iconArea);
    // Near black or near white, whichever stands out more against `background` (at least
    // 4:1 against any colour).
    static QColor glyphColorOn(const QColor &background);
    // The fallback glyph alone, for one device-pixel ratio.
    static QPixmap speechBubbles(const QColor &color, qreal devicePixelRatio);
};
