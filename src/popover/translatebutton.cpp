#include "translatebutton.h"

#include "apptheme.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QMoveEvent>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>

#include <cmath>

namespace {

constexpr int titleSize = 14;
constexpr int badgeTextSize = 11;
constexpr qreal badgeHorizontalPadding = 5;
constexpr qreal badgeVerticalPadding = 2;

QColor white(float alpha)
{
    return QColor::fromRgbF(1, 1, 1, alpha);
}

QColor accent(float alpha)
{
    QColor color = AppTheme::colors().accent;
    color.setAlphaF(alpha);
    return color;
}

QPainterPath capsule(const QRectF &rect)
{
    QPainterPath path;
    const qreal radius = std::min(rect.width(), rect.height()) / 2;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

} // namespace

TranslateButton::TranslateButton(QWidget *parent)
    : QAbstractButton(parent)
    , m_shadow(accent(0.4f), 8, QPointF(0, 3))
{
    setText(QStringLiteral("Translate"));
    setToolTip(
        QStringLiteral("Translate (%1)").arg(shortcutKeys().toString(QKeySequence::NativeText)));
    // The caret stays in the editor when the button is pressed.
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QKeySequence TranslateButton::shortcutKeys()
{
    return QKeySequence(Qt::ControlModifier | Qt::Key_Return);
}

void TranslateButton::setDimmed(bool dimmed)
{
    if (dimmed != m_dimmed) {
        m_dimmed = dimmed;
        update();
        emit shadowChanged(m_shadow.bounds(geometry()).toAlignedRect());
    }
}

QFont TranslateButton::titleFont() const
{
    QFont font = this->font();
    font.setPixelSize(titleSize);
    font.setWeight(QFont::Bold);
    return font;
}

QFont TranslateButton::badgeFont() const
{
    QFont font = this->font();
    font.setPixelSize(badgeTextSize);
    font.setWeight(QFont::Medium);
    return font;
}

QSizeF TranslateButton::badgeSize() const
{
    const QFontMetricsF metrics(badgeFont());
    const QString keys = shortcutKeys().toString(QKeySequence::NativeText);
    return {metrics.horizontalAdvance(keys) + 2 * badgeHorizontalPadding,
            metrics.height() + 2 * badgeVerticalPadding};
}

QSize TranslateButton::sizeHint() const
{
    const qreal title = QFontMetricsF(titleFont()).horizontalAdvance(text());
    const qreal width = leftPadding + title + labelSpacing + badgeSize().width() + rightPadding;
    return {int(std::ceil(width)), height};
}

void TranslateButton::paintShadow(QPainter &painter)
{
    painter.save();
    painter.setOpacity(opacity());
    m_shadow.paint(painter, QRectF(geometry()));
    painter.restore();
}

void TranslateButton::paintEvent(QPaintEvent *)
{
    const bool dark = AppTheme::current() == AppTheme::Scheme::dark;
    const QRectF bounds = rect();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setOpacity(opacity());

    QLinearGradient fill(bounds.topLeft(), bounds.bottomRight());
    fill.setColorAt(0, accent(0.8f));
    fill.setColorAt(1, accent(1.0f));
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawPath(capsule(bounds));
    // The 1-point edge lies wholly inside the capsule.
    QLinearGradient edge(bounds.topLeft(), bounds.bottomRight());
    edge.setColorAt(0, white(dark ? 0.1f : 0.8f));
    edge.setColorAt(1, white(dark ? 0.06f : 0.3f));
    painter.setPen(QPen(QBrush(edge), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(capsule(bounds.adjusted(0.5, 0.5, -0.5, -0.5)));

    // The label, centred as a whole: the word, then the badge.
    const QFont title = titleFont();
    const qreal titleWidth = QFontMetricsF(title).horizontalAdvance(text());
    const QSizeF badge = badgeSize();
    const qreal labelWidth = titleWidth + labelSpacing + badge.width();
    const qreal left = leftPadding + (bounds.width() - leftPadding - rightPadding - labelWidth) / 2;
    painter.setFont(title);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(left, 0, titleWidth + 1, bounds.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, text());

    const QRectF badgeRect(left + titleWidth + labelSpacing, (bounds.height() - badge.height()) / 2,
                           badge.width(), badge.height());
    painter.setPen(Qt::NoPen);
    painter.setBrush(white(0.15f));
    painter.drawPath(capsule(badgeRect));
    painter.setFont(badgeFont());
    painter.setPen(white(0.65f));
    painter.drawText(badgeRect, Qt::AlignCenter, shortcutKeys().toString(QKeySequence::NativeText));
}

void TranslateButton::changeEvent(QEvent *event)
{
    QAbstractButton::changeEvent(event);
    if (AppTheme::isSchemeChange(event)) {
        update(); // the edge differs between the schemes
    }
}

void TranslateButton::moveEvent(QMoveEvent *event)
{
    QAbstractButton::moveEvent(event);
    announceShadow(QRect(event->oldPos(), size()));
}

void TranslateButton::resizeEvent(QResizeEvent *event)
{
    QAbstractButton::resizeEvent(event);
    announceShadow(QRect(pos(), event->oldSize()));
}

void TranslateButton::announceShadow(const QRect &previousGeometry)
{
    emit shadowChanged(m_shadow.bounds(previousGeometry).toAlignedRect() |
                       m_shadow.bounds(geometry()).toAlignedRect());
}
