#include "glyph.h"

#include <QFile>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

struct Entry
{
    const char *name;
    QStringList themeNames;
};

// The "-symbolic" names come first: those are the themes' monochrome pictures, drawn for
// recolouring, where the plain names are often full-colour artwork.
const QList<Entry> &entries()
{
    static const QList<Entry> table{
        {"copy", {"edit-copy-symbolic", "edit-copy"}},
        {"microphone", {"audio-input-microphone-symbolic", "audio-input-microphone"}},
        {"clear", {"edit-clear-symbolic", "edit-clear"}},
        {"speak", {"audio-volume-high-symbolic", "audio-volume-high"}},
        {"stop", {"media-playback-stop-symbolic", "media-playback-stop"}},
        {"settings",
         {"preferences-system-symbolic", "emblem-system-symbolic", "preferences-system",
          "configure"}},
        {"swap", {}},
        {"sparkle", {}},
        {"warning", {"dialog-warning-symbolic", "dialog-warning"}},
        {"info", {"dialog-information-symbolic", "dialog-information"}},
        {"report", {"mail-send-symbolic", "mail-send"}},
        {"power",
         {"system-shutdown-symbolic", "application-exit-symbolic", "system-shutdown",
          "application-exit"}},
        {"window", {"window-new-symbolic", "window-new"}},
    };
    return table;
}

const Entry *find(const QString &name)
{
    const QList<Entry> &table = entries();
    const auto it = std::find_if(table.begin(), table.end(), [&](const Entry &entry) {
        return name == QLatin1String(entry.name);
    });
    return it == table.end() ? nullptr : &*it;
}

QImage blank(int pixelSize, qreal devicePixelRatio)
{
    const int side = qRound(pixelSize * devicePixelRatio);
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    return image;
}

QImage fromOwnArtwork(const Entry &entry, int pixelSize, qreal devicePixelRatio)
{
    const QString path = QStringLiteral(":/glyphs/%1.svg").arg(QLatin1String(entry.name));
    if (!QFile::exists(path)) {
        return {};
    }
    QSvgRenderer renderer(path);
    if (!renderer.isValid()) {
        return {};
    }
    QImage image = blank(pixelSize, devicePixelRatio);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(0, 0, pixelSize, pixelSize));
    return image;
}

QImage fromTheme(const Entry &entry, int pixelSize, qreal devicePixelRatio)
{
    for (const QString &themeName : entry.themeNames) {
        const QIcon icon = QIcon::fromTheme(themeName);
        if (icon.isNull()) {
            continue;
        }
        // paint() rather than pixmap(): a theme with only smaller bitmaps gets centred instead
        // of stuck in a corner.
        QImage image = blank(pixelSize, devicePixelRatio);
        QPainter painter(&image);
        icon.paint(&painter, QRect(0, 0, pixelSize, pixelSize));
        return image;
    }
    return {};
}

QString cacheKey(const QString &name, int pixelSize, const QColor &color, Glyph::Order order,
                 qreal devicePixelRatio)
{
    // The theme is part of the key so that a change of icon theme shows at the next paint.
    return QStringLiteral("quenzal-glyph/%1/%2/%3/%4/%5/%6/%7")
        .arg(name)
        .arg(pixelSize)
        .arg(color.name(QColor::HexArgb))
        .arg(int(order))
        .arg(devicePixelRatio)
        .arg(QIcon::themeName(), QIcon::themeSearchPaths().join(QLatin1Char(':')));
}

class GlyphIconEngine : public QIconEngine
{
public:
    GlyphIconEngine(QString name, QColor color, Glyph::Order order)
        : m_name(std::move(name))
        , m_color(std::move(color))
        , m_order(order)
    {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        Glyph::paint(*painter, rect, m_name, std::min(rect.width(), rect.height()), colorFor(mode),
                     m_order);
    }

    // QIcon asks in device pixels and sets the ratio on what it gets back.
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        QPixmap result(size);
        result.fill(Qt::transparent);
        QPainter painter(&result);
        Glyph::paint(painter, QRectF(QPointF(), size), m_name,
                     std::min(size.width(), size.height()), colorFor(mode), m_order);
        return result;
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine *clone() const override { return new GlyphIconEngine(m_name, m_color, m_order); }
    QString key() const override { return QStringLiteral("quenzal-glyph"); }
    QString iconName() override { return m_name; }

private:
    QColor colorFor(QIcon::Mode mode) const
    {
        QColor color = m_color;
        if (mode == QIcon::Disabled) {
            color.setAlphaF(color.alphaF() * 0.35f);
        }
        return color;
    }

    QString m_name;
    QColor m_color;
    Glyph::Order m_order;
};

} // namespace

QStringList Glyph::names()
{
    QStringList result;
    for (const Entry &entry : entries()) {
        result.append(QLatin1String(entry.name));
    }
    return result;
}

QStringList Glyph::themeNames(const QString &name)
{
    const Entry *entry = find(name);
    return entry ? entry->themeNames : QStringList();
}

QPixmap Glyph::pixmap(const QString &name, int pixelSize, const QColor &color, Order order,
                      qreal devicePixelRatio)
{
    const Entry *entry = find(name);
    if (!entry || pixelSize <= 0 || !(devicePixelRatio > 0) || !color.isValid()) {
        return {};
    }
    const QString key = cacheKey(name, pixelSize, color, order, devicePixelRatio);
    QPixmap result;
    if (QPixmapCache::find(key, &result)) {
        return result;
    }

    QImage image = order == Order::ownFirst ? fromOwnArtwork(*entry, pixelSize, devicePixelRatio)
                                            : fromTheme(*entry, pixelSize, devicePixelRatio);
    if (image.isNull()) {
        image = order == Order::ownFirst ? fromTheme(*entry, pixelSize, devicePixelRatio)
                                         : fromOwnArtwork(*entry, pixelSize, devicePixelRatio);
    }
    if (image.isNull()) {
        return {};
    }
    {
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(QRectF(QPointF(), image.deviceIndependentSize()), color);
    }
    result = QPixmap::fromImage(std::move(image));
    QPixmapCache::insert(key, result);
    return result;
}

QIcon Glyph::icon(const QString &name, const QColor &color, Order order)
{
    if (!find(name)) {
        return {};
    }
    return QIcon(new GlyphIconEngine(name, color, order));
}

void Glyph::paint(QPainter &painter, const QRectF &rect, const QString &name, int pixelSize,
                  const QColor &color, Order order)
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatio() : 1.0;
    const QPixmap glyph = pixmap(name, pixelSize, color, order, ratio);
    if (glyph.isNull()) {
        return;
    }
    // An odd difference between frame and glyph would put the glyph on half a pixel and blur
    // every edge; rounding to the device grid costs at most half a pixel of centring.
    const QPointF origin = rect.center() - QPointF(pixelSize, pixelSize) / 2;
    const QPointF snapped(std::round(origin.x() * ratio) / ratio,
                          std::round(origin.y() * ratio) / ratio);
    painter.drawPixmap(snapped, glyph);
}
