#include "capsuleshadow.h"

#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cmath>
#include <vector>

namespace {

// Three box blurs in a row come within a few per cent of a Gaussian and cost the same at any
// radius. The widths follow Kovesi's "Fast almost-Gaussian filtering".
std::array<int, 3> boxRadii(qreal sigma)
{
    constexpr int passes = 3;
    const qreal ideal = std::sqrt(12 * sigma * sigma / passes + 1);
    int lower = int(std::floor(ideal));
    if (lower % 2 == 0) {
        --lower;
    }
    const int upper = lower + 2;
    const int lowerCount = int(
        std::round((12 * sigma * sigma - passes * lower * lower - 4 * passes * lower - 3 * passes) /
                   (-4 * lower - 4)));
    std::array<int, 3> radii{};
    for (int i = 0; i < passes; ++i) {
        radii[size_t(i)] = ((i < lowerCount ? lower : upper) - 1) / 2;
    }
    return radii;
}

// Averages `count` values `stride` apart over a window of 2 * radius + 1, zero outside.
void boxBlur(const float *in, float *out, int count, int stride, int radius)
{
    const float scale = 1.f / float(2 * radius + 1);
    float sum = 0;
    for (int i = 0; i < std::min(radius, count); ++i) {
        sum += in[i * stride];
    }
    for (int i = 0; i < count; ++i) {
        if (i + radius < count) {
            sum += in[(i + radius) * stride];
        }
        out[i * stride] = sum * scale;
        if (i - radius >= 0) {
            sum -= in[(i - radius) * stride];
        }
    }
}

} // namespace

CapsuleShadow::CapsuleShadow(const QColor &color, qreal blurRadius, QPointF offset)
    : m_color(color)
    , m_sigma(blurRadius / 2)
    , m_offset(offset)
{}

QRectF CapsuleShadow::bounds(const QRectF &capsule) const
{
    const qreal reach = std::ceil(3 * m_sigma) + 1;
    return capsule.translated(m_offset).adjusted(-reach, -reach, reach, reach);
}

void CapsuleShadow::paint(QPainter &painter, const QRectF &capsule)
{
    if (capsule.isEmpty()) {
        return;
    }
    // The scale to device pixels, taken from the painter rather than its device: a widget
    // rendered into a larger image paints on itself, redirected.
    const QTransform &transform = painter.deviceTransform();
    const qreal ratio = std::hypot(transform.m11(), transform.m12());
    // Device pixels: the image is drawn pixel-aligned, the sub-pixel part is rendered into it.
    const QPointF origin = transform.map(capsule.translated(m_offset).topLeft());
    const QPointF whole(std::floor(origin.x()), std::floor(origin.y()));
    const QPointF fraction = origin - whole;
    const QSizeF size = capsule.size() * ratio;
    if (m_image.isNull() || size != m_imageCapsuleSize || fraction != m_imageFraction ||
        m_image.devicePixelRatio() != ratio) {
        render(size, fraction, ratio);
    }
    painter.drawImage(transform.inverted().map(whole - QPointF(m_imageMargin, m_imageMargin)),
                      m_image);
}

void CapsuleShadow::render(QSizeF size, QPointF fraction, qreal pixelRatio)
{
    const qreal sigma = m_sigma * pixelRatio;
    const int margin = int(std::ceil(3 * sigma)); // beyond the boxes' combined reach
    const int width = int(std::ceil(size.width() + fraction.x())) + 2 * margin;
    const int height = int(std::ceil(size.height() + fraction.y())) + 2 * margin;

    QImage shape(width, height, QImage::Format_Alpha8);
    shape.fill(0);
    {
        QPainter painter(&shape);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        const QRectF rect(QPointF(margin, margin) + fraction, size);
        const qreal radius = std::min(rect.width(), rect.height()) / 2;
        painter.drawRoundedRect(rect, radius, radius);
    }

    std::vector<float> alpha(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        const uchar *line = shape.constScanLine(y);
        for (int x = 0; x < width; ++x) {
            alpha[size_t(y) * size_t(width) + size_t(x)] = line[x] / 255.f;
        }
    }
    std::vector<float> scratch(alpha.size());
    for (int radius : boxRadii(sigma)) {
        for (int y = 0; y < height; ++y) {
            const size_t row = size_t(y) * size_t(width);
            boxBlur(alpha.data() + row, scratch.data() + row, width, 1, radius);
        }
        for (int x = 0; x < width; ++x) {
            boxBlur(scratch.data() + x, alpha.data() + x, height, width, radius);
        }
    }

    m_image = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
    const float opacity = float(m_color.alphaF());
    const float red = float(m_color.redF());
    const float green = float(m_color.greenF());
    const float blue = float(m_color.blueF());
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(m_image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const float a =
                std::clamp(alpha[size_t(y) * size_t(width) + size_t(x)] * opacity, 0.f, 1.f);
            line[x] = qRgba(int(red * a * 255 + 0.5f), int(green * a * 255 + 0.5f),
                            int(blue * a * 255 + 0.5f), int(a * 255 + 0.5f));
        }
    }
    m_image.setDevicePixelRatio(pixelRatio);
    m_imageCapsuleSize = size;
    m_imageFraction = fraction;
    m_imageMargin = margin;
}
