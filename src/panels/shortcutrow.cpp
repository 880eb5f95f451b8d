#include "shortcutrow.h"

#include "apptheme.h"
#include "settingsview.h"
#include "shortcutrecorder.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

ShortcutRow::ShortcutRow(const QString &title, const QKeySequence &shortcut, QWidget *parent)
    : QWidget(parent)
    , m_title(new QLabel(title))
    , m_note(new QLabel)
    , m_detail(new QLabel)
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

    m_detail->setFont(noteFont);
    m_detail->setWordWrap(true);
    // The line may name a command to copy.
    m_detail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    AppTheme::setTextColor(m_detail, AppTheme::colors().secondaryLabel);
    m_detail->hide();

    auto *line = new QHBoxLayout;
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(8);
    line->addWidget(m_title);
    line->addStretch(1);
    line->addWidget(m_note);
    line->addWidget(m_badge, 0, Qt::AlignVCenter);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(horizontalPadding, verticalPadding, horizontalPadding,
                               verticalPadding);
    layout->setSpacing(detailSpacing);
    layout->addLayout(line);
    layout->addWidget(m_detail);
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

QString ShortcutRow::detail() const
{
    return m_detail->isHidden() ? QString() : m_detail->text();
}

void ShortcutRow::setDetail(const QString &text)
{
    m_detail->setText(text);
    m_detail->setVisible(!text.isEmpty());
}
