#include "morelanguagesbutton.h"

#include "apptheme.h"
#include "languagemenu.h"

#include <QEnterEvent>
#include <QPainter>

namespace {

constexpr int textSize = 13;
const QString dots = QStringLiteral("\u00B7\u00B7\u00B7");

} // namespace

MoreLanguagesButton::MoreLanguagesButton(QWidget *parent)
    : QAbstractButton(parent)
{
    setText(tr("More languages"));
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, &MoreLanguagesButton::openMenu);
}

void MoreLanguagesButton::setLanguages(const QList<Language> &languages)
{
    m_languages = languages;
    if (m_menu) {
        m_menu->setLanguages(languages);
    }
}

LanguageMenu *MoreLanguagesButton::menu()
{
    if (!m_menu) {
        m_menu = new LanguageMenu(this);
        m_menu->setLanguages(m_languages);
        connect(m_menu, &LanguageMenu::languageChosen, this, &MoreLanguagesButton::languageChosen);
    }
    return m_menu;
}

void MoreLanguagesButton::openMenu()
{
    menu()->popup(QRect(mapToGlobal(QPoint(0, 0)), size()));
}

void MoreLanguagesButton::paintEvent(QPaintEvent *)
{
    const bool dark = AppTheme::current() == AppTheme::Scheme::dark;
    const AppTheme::Colors &colors = AppTheme::colors();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_hovered) {
        const qreal diameter = std::min(width(), height());
        QRectF circle(0, 0, diameter, diameter);
        circle.moveCenter(QRectF(rect()).center());
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromRgbF(1, 1, 1, dark ? 0.12f : 0.35f));
        painter.drawEllipse(circle);
    }
    QFont font = this->font();
    font.setPixelSize(textSize);
    font.setWeight(QFont::Medium);
    painter.setFont(font);
    painter.setPen(m_hovered ? colors.label : colors.secondaryLabel);
    painter.drawText(rect(), Qt::AlignCenter, dots);
}

void MoreLanguagesButton::enterEvent(QEnterEvent *event)
{
    setHovered(true);
    QAbstractButton::enterEvent(event);
}

void MoreLanguagesButton::leaveEvent(QEvent *event)
{
    setHovered(false);
    QAbstractButton::leaveEvent(event);
}

void MoreLanguagesButton::hideEvent(QHideEvent *event)
{
    setHovered(false);
    QAbstractButton::hideEvent(event);
}

void MoreLanguagesButton::setHovered(bool hovered)
{
    if (hovered != m_hovered) {
        m_hovered = hovered;
        update();
    }
}
