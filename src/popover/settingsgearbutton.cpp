#include "settingsgearbutton.h"

#include "apptheme.h"
#include "glyph.h"

#include <QEnterEvent>
#include <QPainter>

SettingsGearButton::SettingsGearButton(QWidget *parent)
    : QAbstractButton(parent)
{
    // Like the other popover controls it leaves the keyboard focus with the text.
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(frameSize, frameSize);
    setToolTip(tr("Settings"));
    setAccessibleName(toolTip());
}

QSize SettingsGearButton::sizeHint() const
{
    return {frameSize, frameSize};
}

void SettingsGearButton::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void SettingsGearButton::leaveEvent(QEvent *event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void SettingsGearButton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange) {
        update();
    }
    QAbstractButton::changeEvent(event);
}

void SettingsGearButton::paintEvent(QPaintEvent *)
{
    const AppTheme::Colors &colors = AppTheme::colors();
    const bool hovered = m_hovered && isEnabled();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) {
        painter.setOpacity(0.35);
    }
    if (hovered) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(AppTheme::current() == AppTheme::Scheme::dark
                             ? QColor::fromRgbF(1, 1, 1, 0.1f)
                             : QColor::fromRgbF(0, 0, 0, 0.08f));
        painter.drawEllipse(QRectF(rect()));
    }
    Glyph::paint(painter, rect(), QStringLiteral("settings"), glyphSize,
                 hovered ? colors.label : colors.secondaryLabel, Glyph::Order::ownFirst);
}
