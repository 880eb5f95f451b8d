#include "translationarea.h"

#include "activityindicator.h"
#include "apptheme.h"
#include "glyph.h"
#include "overlayscrollbar.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace {

constexpr int horizontalInset = 16;
constexpr int topInset = 8;
constexpr int spinnerDiameter = 20;

QLabel *plainLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

TranslationArea::TranslationArea(QWidget *parent)
    : QWidget(parent)
    , m_pages(new QStackedLayout(this))
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    m_pages->addWidget(makeTranslatingPage());
    m_pages->addWidget(makeErrorPage());
    m_placeholder = plainLabel(this);
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setWordWrap(true);
    m_placeholder->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_placeholder->setContentsMargins(horizontalInset, topInset, horizontalInset, topInset);
    m_pages->addWidget(m_placeholder);
    m_pages->addWidget(makeResultPage());
    m_pages->setCurrentIndex(int(State::placeholder));
    restyle();
}

QWidget *TranslationArea::makeTranslatingPage()
{
    auto *page = new QWidget(this);
    auto *column = new QVBoxLayout(page);
    column->setContentsMargins(horizontalInset, topInset, horizontalInset, 0);
    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    m_spinner = new ActivityIndicator(spinnerDiameter, page);
    m_translatingLabel = plainLabel(page);
    m_translatingLabel->setText(QStringLiteral("Translating..."));
    row->addWidget(m_spinner, 0, Qt::AlignVCenter);
    row->addWidget(m_translatingLabel, 0, Qt::AlignVCenter);
    row->addStretch();
    column->addLayout(row);
    column->addStretch();
    return page;
}

QWidget *TranslationArea::makeErrorPage()
{
    auto *page = new QWidget(this);
    auto *column = new QVBoxLayout(page);
    column->setContentsMargins(horizontalInset, topInset, horizontalInset, 0);
    column->setSpacing(4);
    auto *row = new QHBoxLayout;
    row->setSpacing(5);
    m_warningGlyph = new QLabel(page);
    m_errorTitle = plainLabel(page);
    m_errorTitle->setText(QStringLiteral("Translation failed"));
    row->addWidget(m_warningGlyph, 0, Qt::AlignVCenter);
    row->addWidget(m_errorTitle, 0, Qt::AlignVCenter);
    row->addStretch();
    m_errorMessage = plainLabel(page);
    m_errorMessage->setWordWrap(true);
    m_errorMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_errorMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addLayout(row);
    column->addWidget(m_errorMessage);
    column->addStretch();
    return page;
}

QWidget *TranslationArea::makeResultPage()
{
    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The scroll bar keeps the range; the overlay shows it while the text scrolls.
    m_scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setAutoFillBackground(false);
    m_scrollArea->viewport()->setAutoFillBackground(false);
    m_translation = plainLabel(nullptr);
    m_translation->setWordWrap(true);
    m_translation->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_translation->setContentsMargins(horizontalInset, topInset, horizontalInset, topInset);
    m_translation->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Minimum);
    m_scrollArea->setWidget(m_translation);
    // setWidget() makes it fill its background; the backdrop is to show through.
    m_translation->setAutoFillBackground(false);
    m_scrollIndicator = new OverlayScrollBar(m_scrollArea->verticalScrollBar(), m_scrollArea);
    m_scrollArea->installEventFilter(this);
    return m_scrollArea;
}

bool TranslationArea::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_scrollArea && event->type() == QEvent::Resize) {
        m_scrollIndicator->setGeometry(m_scrollArea->width() - OverlayScrollBar::thickness - 2,
                                       topInset, OverlayScrollBar::thickness,
                                       m_scrollArea->height() - 2 * topInset);
    }
    return QWidget::eventFilter(watched, event);
}

void TranslationArea::setContent(const Content &content)
{
    if (content.isTranslating) {
        m_state = State::translating;
    } else if (!content.errorMessage.isEmpty()) {
        m_state = State::error;
        m_errorMessage->setText(content.errorMessage);
    } else if (content.translatedText.isEmpty()) {
        m_state = State::placeholder;
        m_placeholder->setText(content.placeholder);
    } else {
        m_state = State::translation;
        if (m_translation->text() != content.translatedText) {
            m_translation->setText(content.translatedText);
            m_scrollArea->verticalScrollBar()->setValue(0);
        }
        m_translation->setLayoutDirection(content.rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
        m_translation->setAlignment(Qt::AlignTop | Qt::AlignAbsolute |
                                    (content.rightToLeft ? Qt::AlignRight : Qt::AlignLeft));
    }
    m_pages->setCurrentIndex(int(m_state));
}

QString TranslationArea::shownText() const
{
    switch (m_state) {
    case State::translating:
        return m_translatingLabel->text();
    case State::error:
        return m_errorTitle->text() + QLatin1Char('\n') + m_errorMessage->text();
    case State::placeholder:
        return m_placeholder->text();
    case State::translation:
        return m_translation->text();
    }
    return {};
}

void TranslationArea::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (AppTheme::isSchemeChange(event)) {
        restyle();
    }
}

void TranslationArea::restyle()
{
    const AppTheme::Colors &colors = AppTheme::colors();
    m_translatingLabel->setFont(AppTheme::font(this->font(), textSize));
    AppTheme::setTextColor(m_translatingLabel, colors.secondaryLabel);
    m_errorTitle->setFont(AppTheme::font(this->font(), smallTextSize, QFont::DemiBold));
    AppTheme::setTextColor(m_errorTitle, colors.label);
    m_errorMessage->setFont(AppTheme::font(this->font(), smallTextSize));
    AppTheme::setTextColor(m_errorMessage, colors.secondaryLabel);
    m_errorMessage->setMaximumHeight(maxErrorLines *
                                     QFontMetrics(m_errorMessage->font()).lineSpacing());
    const qreal ratio = devicePixelRatioF();
    m_warningGlyph->setPixmap(Glyph::pixmap(QStringLiteral("warning"), smallTextSize,
                                            QColor(255, 149, 0), Glyph::Order::ownFirst, ratio));
    m_placeholder->setFont(AppTheme::font(this->font(), textSize));
    AppTheme::setTextColor(m_placeholder, colors.placeholder);
    m_translation->setFont(AppTheme::font(this->font(), textSize));
    AppTheme::setTextColor(m_translation, colors.label);
}
