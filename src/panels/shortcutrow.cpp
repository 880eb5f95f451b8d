#include "shortcutrow.h"

#include "apptheme.h"
#include "settingsview.h"
#include "shortcutrecorder.h"

#include <QHBoxLayout>
#include <QLabel>

ShortcutRow::ShortcutRow(const QString &title, const QKeySequence &shortcut, QWidget *parent)
    : QWidget(parent)
    , m_title(new QLabel(title))
    , m_note(new QLabel)
    , m_badge(new ShortcutRecorder(shortcut))
{
    QFont titleFont = font();
    titleFont.setPixelSize(titleSize);
    m_title->setFont(titleFont);
    AppTheme::setTextColor(m_title, AppTheme::colors().label);

    QFont noteFont = font();
    noteFont.setPixelSize(noteSize);
    m_note->setFont(noteFont);
    m_note->hide();

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(horizontalPadding, verticalPadding, horizontalPadding,
                               verticalPadding);
    layout->setSpacing(8);
    layout->addWidget(m_title);
    layout->addStretch(1);
    layout->addWidget(m_note);
    layout->addWidget(m_badge, 0, Qt::AlignVCenter);
}

QString ShortcutRow::title() const
{
    return m_title->text();
}

QString ShortcutRow::note() const
{
    return m_note->isHidden() ? QString() : m_note->text();
}

void ShortcutRow::setNote(const QString &text, bool warning, const QString &toolTip)
{
    m_note->setText(text);
    m_note->setToolTip(toolTip);
    AppTheme::setTextColor(m_note,
                           warning ? AppTheme::colors().alert : AppTheme::colors().secondaryLabel);
    m_note->setVisible(!text.isEmpty());
}
