#include "menubaricon.h"

#include "namediconengine.h"

#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The glyph's own colour is ignored: its alpha is filled with `color`.
QPixmap tinted(QSvgRenderer &renderer, const QColor &color, qreal ratio)
{
    QPixmap pixmap(QSize(MenuBarIcon::size, MenuBarIcon::size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(0, 0, MenuBarIcon::size, MenuBarIcon::size));
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(0, 0, MenuBarIcon::size, MenuBarIcon::size), color);
    return pixmap;
}

} // namespace

QIcon MenuBarIcon::make(const QColor &color, const QString &path, const QString &themeName)
{
    QIcon icon;
    QSvgRenderer renderer;
    const bool loaded = QFile::exists(path) && renderer.load(path) && renderer.isValid();
    for (qreal ratio : {1.0, 2.0}) {
        icon.addPixmap(loaded ? tinted(renderer, color, ratio) : speechBubbles(color, ratio));
    }
    if (icon.isNull()) {
        QPixmap empty(size, size);
        empty.fill(Qt::transparent);
        icon.addPixmap(empty);
    }
    return themeName.isEmpty() ? icon : QIcon(new NamedIconEngine(icon, themeName));
}

QColor MenuBarIcon::backgroundOf(const QImage &iconArea)
{
    const QImage image = iconArea.convertToFormat(QImage::Format_RGB32);
    const int band = std::max(1, std::min(image.width(), image.height()) / 8);
    std::vector<QRgb> samples;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (x < band || y < band || x >= image.width() - band || y >= image.height() - band) {
                samples.push_back(image.pixel(x, y));
            }
        }
    }
    if (samples.empty()) {
        return {};
    }
    const auto middle = samples.begin() + std::ptrdiff_t(samples.size() / 2);
    std::nth_element(samples.begin(), middle, samples.end(),
                     [](QRgb a, QRgb b) { return qGray(a) < qGray(b); });
    return QColor(*middle);
}

QColor MenuBarIcon::glyphColorOn(const QColor &background)
{
    // Contrast as the web's accessibility guidelines measure it, from relative luminance.
    const auto luminance = [](const QColor &color) {
        const auto channel = [](float value) {
            return value <= 0.04045f ? value / 12.92f : std::pow((value + 0.055f) / 1.055f, 2.4f);
        };
        return 0.2126f * channel(color.redF()) + 0.7152f * channel(color.greenF()) +
               0.0722f * channel(color.blueF());
    };
    const QColor dark(0x1a, 0x1a, 0x1a);
    const QColor light(0xf5, 0xf5, 0xf5);
    const float back = luminance(background);
    const float onDark = (luminance(light) + 0.05f) / (back + 0.05f);
    const float onLight = (back + 0.05f) / (luminance(dark) + 0.05f);
    return onDark > onLight ? light : dark;
}

QPixmap MenuBarIcon::speechBubbles(const QColor &color, qreal devicePixelRatio)
{
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));

    // A larger bubble with its tail to the lower left, a smaller one behind it to the right.
    QPainterPath front;
    front.addRoundedRect(QRectF(1.5, 2.5, 10, 7.5), 2, 2);
    front.moveTo(4, 10);
    front.lineTo(3.2, 12.8);
    front.lineTo(6.5, 10);
    QPainterPath back;
    back.moveTo(12.5, 6.5);
    back.lineTo(15, 6.5);
    back.quadTo(16.5, 6.5, 16.5, 8);
    back.lineTo(16.5, 12);
    back.quadTo(16.5, 13.5, 15, 13.5);
    back.lineTo(14.5, 13.5);
    back.lineTo(14.8, 16);
    back.lineTo(12, 13.5);
    back.lineTo(9, 13.5);
    back.quadTo(7.5, 13.5, 7.5, 12);
    back.lineTo(7.5, 11);
    painter.drawPath(front.simplified());
    painter.drawPath(back);
    return pixmap;
}
