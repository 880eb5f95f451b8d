#include "popovercontentview.h"

#include "appnotifier.h"
#include "translatorviewmodel.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

PopoverContentView::PopoverContentView(QWidget *parent)
    : PopoverContentView(std::make_unique<TranslatorViewModel>(), parent)
{}

PopoverContentView::PopoverContentView(std::unique_ptr<TranslatorViewModel> viewModel,
                                       QWidget *parent)
    : QWidget(parent)
    , m_viewModel(std::move(viewModel))
    , m_stack(new QStackedWidget(this))
    , m_editor(new QPlainTextEdit)
    , m_translation(new QLabel)
    , m_panelTitle(new QLabel)
{
    auto *translator = new QWidget;
    auto *translatorLayout = new QVBoxLayout(translator);
    m_editor->setFrameShape(QFrame::NoFrame);
    m_editor->setPlaceholderText(m_viewModel->sourcePlaceholder());
    m_translation->setWordWrap(true);
    m_translation->setAlignment(Qt::AlignTop | Qt::AlignLeading);
    m_translation->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_translation->setTextFormat(Qt::PlainText);
    translatorLayout->addWidget(m_editor, 1);
    translatorLayout->addWidget(m_translation, 1);

    auto *panel = new QWidget;
    auto *panelLayout = new QVBoxLayout(panel);
    auto *close = new QPushButton(tr("Close"));
    panelLayout->addWidget(m_panelTitle);
    panelLayout->addStretch();
    panelLayout->addWidget(close, 0, Qt::AlignRight);
    connect(close, &QPushButton::clicked, this, [this] { showPanel(Panel::none); });

    m_stack->addWidget(translator);
    m_stack->addWidget(panel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);

    // The editor changes the model only when the texts differ, and the model the editor only
    // when they differ, so the caret survives the round trip of the user's own typing.
    connect(m_editor, &QPlainTextEdit::textChanged, this, [this] {
        if (m_editor->toPlainText() != m_viewModel->sourceText()) {
            m_viewModel->setSourceText(m_editor->toPlainText());
        }
        syncEditorFromModel(); // a refused edit is taken back
    });
    connect(m_viewModel.get(), &TranslatorViewModel::sourceTextChanged, this,
            &PopoverContentView::syncEditorFromModel);
    connect(m_viewModel.get(), &TranslatorViewModel::sourceLanguageChanged, this,
            [this] { m_editor->setPlaceholderText(m_viewModel->sourcePlaceholder()); });
    for (auto signal :
         {&TranslatorViewModel::translatedTextChanged, &TranslatorViewModel::errorMessageChanged}) {
        connect(m_viewModel.get(), signal, this, &PopoverContentView::updateTranslationArea);
    }
    connect(m_viewModel.get(), &TranslatorViewModel::isTranslatingChanged, this,
            &PopoverContentView::updateTranslationArea);
    connect(m_viewModel.get(), &TranslatorViewModel::sourceLanguageChanged, this,
            &PopoverContentView::updateTranslationArea);
    connect(&AppNotifier::instance(), &AppNotifier::posted, this,
            &PopoverContentView::onNotification);
    updateTranslationArea();
}

PopoverContentView::~PopoverContentView() = default;

void PopoverContentView::showPanel(Panel panel)
{
    if (panel == m_panel) {
        return;
    }
    m_panel = panel;
    switch (panel) {
    case Panel::settings:
        m_panelTitle->setText(tr("Settings"));
        break;
    case Panel::report:
        m_panelTitle->setText(tr("Report a Problem"));
        break;
    case Panel::about:
        m_panelTitle->setText(tr("About Parlora - Quenzal"));
        break;
    case Panel::none:
        break;
    }
    m_stack->setCurrentIndex(panel == Panel::none ? 0 : 1);
    emit panelChanged(panel);
}

void PopoverContentView::onNotification(const QString &name)
{
    if (name == AppNotifier::showSettings) {
        showPanel(Panel::settings);
    } else if (name == AppNotifier::showReport) {
        showPanel(Panel::report);
    } else if (name == AppNotifier::showAbout) {
        showPanel(Panel::about);
    }
}

void PopoverContentView::syncEditorFromModel()
{
    if (m_editor->toPlainText() != m_viewModel->sourceText()) {
        m_editor->setPlainText(m_viewModel->sourceText());
        m_editor->moveCursor(QTextCursor::End);
    }
}

void PopoverContentView::updateTranslationArea()
{
    if (m_viewModel->isTranslating()) {
        m_translation->setText(tr("Translating..."));
    } else if (!m_viewModel->errorMessage().isEmpty()) {
        m_translation->setText(tr("Translation failed") + QLatin1Char('\n') +
                               m_viewModel->errorMessage());
    } else if (m_viewModel->translatedText().isEmpty()) {
        m_translation->setText(m_viewModel->targetPlaceholder());
    } else {
        m_translation->setText(m_viewModel->translatedText());
    }
}
