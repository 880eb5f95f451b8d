#include "languagemenu.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

constexpr int anchorGap = 4;
constexpr int screenMargin = 8;
constexpr int narrowest = 200;

} // namespace

LanguageMenu::LanguageMenu(QWidget *parent)
    : QFrame(parent, Qt::Popup)
    , m_search(new QLineEdit(this))
    , m_list(new QListWidget(this))
{
    setFrameShape(QFrame::StyledPanel);
    m_search->setPlaceholderText(tr("Search"));
    m_search->setClearButtonEnabled(true);
    m_search->installEventFilter(this);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setFocusPolicy(Qt::NoFocus); // typing always goes to the search field
    m_list->setMouseTracking(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setUniformItemSizes(true);
    // Menu-like rows: room around each name and a rounded highlight in the accent colour.
    m_list->setStyleSheet(
        QStringLiteral("QListView { background: transparent; }"
                       "QListView::item { padding: 3px 8px; border-radius: 4px; border: none; }"
                       "QListView::item:selected { background: palette(highlight);"
                       " color: palette(highlighted-text); }"));
    QFont font = this->font();
    font.setPixelSize(13);
    m_list->setFont(font);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(m_search);
    layout->addWidget(m_list);

    connect(m_search, &QLineEdit::textChanged, this, &LanguageMenu::filter);
    // Like a menu: the highlight follows the pointer, and a click takes the item.
    connect(m_list, &QListWidget::itemEntered, m_list,
            [this](QListWidgetItem *item) { m_list->setCurrentItem(item); });
    connect(m_list, &QListWidget::itemClicked, this, &LanguageMenu::choose);
}

void LanguageMenu::setLanguages(const QList<Language> &languages)
{
    if (languages == m_languages) {
        return;
    }
    m_languages = languages;
    m_list->clear();
    for (const Language &language : languages) {
        m_list->addItem(language.name);
    }
    filter(m_search->text());
}

QList<Language> LanguageMenu::matches() const
{
    QList<Language> result;
    for (int row = 0; row < m_list->count(); ++row) {
        if (!m_list->item(row)->isHidden()) {
            result.append(m_languages[row]);
        }
    }
    return result;
}

void LanguageMenu::popup(const QRect &anchor)
{
    m_search->clear();
    filter(QString());
    m_list->scrollToTop();

    // As tall as the whole list when the screen allows, scrolling otherwise.
    const QScreen *screen = QGuiApplication::screenAt(anchor.center());
    if (screen == nullptr) {
        screen = this->screen();
    }
    const QRect available = screen->availableGeometry().adjusted(screenMargin, screenMargin,
                                                                 -screenMargin, -screenMargin);
    ensurePolished();
    const QMargins margins = contentsMargins() + layout()->contentsMargins();
    const int rows = m_list->count();
    const int rowHeight = rows > 0 ? m_list->sizeHintForRow(0) : 0;
    const int wanted = margins.top() + m_search->sizeHint().height() + layout()->spacing() +
                       rows * rowHeight + margins.bottom();
    const int height = std::min(wanted, available.height());
    const int width =
        std::max(narrowest, margins.left() + m_list->sizeHintForColumn(0) +
                                m_list->verticalScrollBar()->sizeHint().width() + margins.right());
    resize(width, height);

    int top = anchor.bottom() + 1 + anchorGap;
    if (top + height > available.bottom() + 1) {
        top = std::max(available.top(), available.bottom() + 1 - height);
    }
    const int left = std::clamp(anchor.left(), available.left(),
                                std::max(available.left(), available.right() + 1 - width));
    move(left, top);
    m_search->setFocus(Qt::PopupFocusReason);
    show();
}

void LanguageMenu::filter(const QString &text)
{
    const QString needle = text.trimmed();
    for (int row = 0; row < m_list->count(); ++row) {
        const Language &language = m_languages[row];
        m_list->item(row)->setHidden(!language.name.contains(needle, Qt::CaseInsensitive) &&
                                     !language.id.contains(needle, Qt::CaseInsensitive));
    }
    QListWidgetItem *first = firstMatch();
    // An empty search highlights nothing, so that opening the menu seems to mark no language;
    // Return takes the first match all the same.
    if (needle.isEmpty()) {
        m_list->setCurrentRow(-1);
        m_list->clearSelection();
    } else {
        m_list->setCurrentItem(first);
    }
    if (first != nullptr) {
        m_list->scrollToItem(first);
    }
}

QListWidgetItem *LanguageMenu::firstMatch() const
{
    for (int row = 0; row < m_list->count(); ++row) {
        if (!m_list->item(row)->isHidden()) {
            return m_list->item(row);
        }
    }
    return nullptr;
}

void LanguageMenu::choose(QListWidgetItem *item)
{
    if (item == nullptr || item->isHidden()) {
        return;
    }
    const Language language = m_languages[m_list->row(item)];
    // Closed first, so that whatever the choice sets off sees the menu gone.
    close();
    emit languageChosen(language);
}

void LanguageMenu::moveHighlight(int steps)
{
    const int direction = steps > 0 ? 1 : -1;
    int row = m_list->currentRow();
    int last = row;
    for (int remaining = std::abs(steps); remaining > 0;) {
        row += direction;
        if (row < 0 || row >= m_list->count()) {
            break;
        }
        if (!m_list->item(row)->isHidden()) {
            last = row;
            --remaining;
        }
    }
    if (last >= 0) {
        m_list->setCurrentRow(last);
        m_list->scrollToItem(m_list->item(last));
    }
}

bool LanguageMenu::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_search || event->type() != QEvent::KeyPress) {
        return QFrame::eventFilter(watched, event);
    }
    const auto *key = static_cast<QKeyEvent *>(event);
    const int page =
        std::max(1, m_list->viewport()->height() / std::max(1, m_list->sizeHintForRow(0)));
    switch (key->key()) {
    case Qt::Key_Escape:
        close();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        choose(m_list->currentItem() != nullptr ? m_list->currentItem() : firstMatch());
        return true;
    case Qt::Key_Down:
        moveHighlight(1);
        return true;
    case Qt::Key_Up:
        moveHighlight(-1);
        return true;
    case Qt::Key_PageDown:
        moveHighlight(page);
        return true;
    case Qt::Key_PageUp:
        moveHighlight(-page);
        return true;
    default:
        return false;
    }
}
