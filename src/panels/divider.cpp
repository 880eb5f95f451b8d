#include "divider.h"

#include "apptheme.h"
#include "settingsview.h"

#include <QPainter>

Divider::Divider(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("divider"));
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent *)
{
    QColor color = AppTheme::colors().separator;
    // The dark scheme's separator is drawn for lines over plain backgrounds; over a card it
    // would stand out.
    if (AppTheme::current() == AppTheme::Scheme::dark) {
        color.setAlphaF(color.alphaF() * 0.3f);
    }
    QPainter(this).fillRect(
        QRect(SettingsView::dividerIndent, 0, width() - SettingsView::dividerIndent, 1), color);
}
