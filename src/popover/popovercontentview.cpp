#include "popovercontentview.h"

#include "actionicon.h"
#include "appnotifier.h"
#include "apptheme.h"
#include "capsulebuttongroup.h"
#include "closebutton.h"
#include "dictation.h"
#include "dictationbar.h"
#include "glyph.h"
#include "languagepillsview.h"
#include "noscrolltexteditor.h"
#include "resizehandle.h"
#include "settingsgearbutton.h"
#include "swapbutton.h"
#include "swapdivider.h"
#include "translatebutton.h"
#include "translationarea.h"
#include "translatorviewmodel.h"
#include "visualeffectview.h"

#include <QClipboard>
#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QShortcut>
#include <QStackedLayout>
#include <QSvgRenderer>
#include <QVBoxLayout>

namespace {

constexpr int barPadding = 16;
constexpr int languageBarBottomPadding = 12;
constexpr int bottomBarVerticalPadding = 12;
constexpr int gearSpacing = 8;
constexpr int bottomBarSpacing = 8;
constexpr int placeholderTopInset = 8;
constexpr qreal sourcePlaceholderOpacity = 0.6;
constexpr int panelTitleSize = 15;

bool writtenRightToLeft(const Language &language)
{
    return language.id == QLatin1String("ar");
}

// Clears the clipboard, then puts `text` on it; an empty text leaves an empty string there.
void copyToClipboard(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

// The logo in one colour at the given opacity, fitted into a square; null when the artwork is
// missing or unreadable.
QPixmap renderLogo(const QString &path, int size, const QColor &color, qreal opacity, qreal ratio)
{
    QSvgRenderer renderer(path);
    if (!renderer.isValid() || renderer.defaultSize().isEmpty()) {
        return {};
    }
    const QSizeF fitted = QSizeF(renderer.defaultSize()).scaled(size, size, Qt::KeepAspectRatio);
    QImage image((QSizeF(size, size) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(
        &painter,
        QRectF(QPointF((size - fitted.width()) / 2, (size - fitted.height()) / 2), fitted));
    // Only the shape is kept: the mark takes the colour of the text around it.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    QColor tint = color;
    tint.setAlphaF(float(tint.alphaF() * opacity));
    painter.fillRect(QRectF(0, 0, size, size), tint);
    painter.end();
    return QPixmap::fromImage(image);
}

} // namespace

PopoverContentView::PopoverContentView(TranslatorViewModel &viewModel, Preferences &preferences,
                                       Dictation &dictation, QWidget *parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_dictation(dictation)
    , m_preferences(preferences)
{
    // The translator lies on a backdrop of its own, over the popover's: its tint shows twice.
    m_translator = new VisualEffectView;
    auto *column = new QVBoxLayout(m_translator);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(makeLanguageBar());
    column->addWidget(makeTextRow(), 1);
    column->addWidget(makeBottomBar());

    m_panelHost = new QWidget;
    auto *panelLayout = new QVBoxLayout(m_panelHost);
    panelLayout->setContentsMargins(0, 0, 0, 0);

    m_pages = new QStackedLayout(this);
    m_pages->setContentsMargins(0, 0, 0, 0);
    m_pages->addWidget(m_translator);
    m_pages->addWidget(m_panelHost);

    m_resizeHandle = new ResizeHandle(m_preferences, this);
    m_resizeHandle->raise();

    // Ctrl+Return presses Translate from anywhere in the translator, the editor included; the
    // keypad's Enter does the same.
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *shortcut = new QShortcut(QKeySequence(Qt::ControlModifier | key), m_translator);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, &PopoverContentView::translateIfEnabled);
    }

    bindViewModel();
    connect(&AppNotifier::instance(), &AppNotifier::posted, this,
            &PopoverContentView::onNotification);
    restyle();
}

PopoverContentView::~PopoverContentView() = default;

QWidget *PopoverContentView::makeLanguageBar()
{
    m_languageBar = new QWidget;
    auto *row = new QHBoxLayout(m_languageBar);
    row->setContentsMargins(barPadding, barPadding, barPadding, languageBarBottomPadding);
    row->setSpacing(0);
    m_sourcePills = new LanguagePillsView(true);
    m_targetPills = new LanguagePillsView(false);
    m_gear = new SettingsGearButton;
    row->addWidget(m_sourcePills);
    row->addStretch(1);
    row->addWidget(m_targetPills);
    row->addSpacing(gearSpacing);
    row->addWidget(m_gear);
    connect(m_gear, &QAbstractButton::clicked, this, [this] { showPanel(Panel::settings); });

    // Over the middle of the bar, under the pointer's notice.
    m_logo = new QLabel(m_languageBar);
    m_logo->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_logo->setFixedSize(logoSize, logoSize);
    m_logo->lower();
    m_languageBar->installEventFilter(this);
    return m_languageBar;
}

QWidget *PopoverContentView::makeTextRow()
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *source = new QWidget;
    source->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    auto *stack = new QGridLayout(source);
    stack->setContentsMargins(0, 0, 0, 0);
    m_editor = new NoScrollTextEditor;
    m_editor->setHorizontalInset(NoScrollTextEditor::defaultHorizontalInset);
    m_editor->setAccessibleName(QStringLiteral("Text to translate"));
    m_sourcePlaceholder = new QLabel;
    m_sourcePlaceholder->setTextFormat(Qt::PlainText);
    m_sourcePlaceholder->setWordWrap(true);
    m_sourcePlaceholder->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_sourcePlaceholder->setContentsMargins(NoScrollTextEditor::defaultHorizontalInset,
                                            placeholderTopInset,
                                            NoScrollTextEditor::defaultHorizontalInset, 0);
    stack->addWidget(m_editor, 0, 0);
    stack->addWidget(m_sourcePlaceholder, 0, 0, Qt::AlignTop);
    m_sourcePlaceholder->raise();
    m_dictationBar = new DictationBar(m_dictation);
    stack->addWidget(m_dictationBar, 1, 0);
    stack->setRowStretch(0, 1);

    m_divider = new SwapDivider;
    m_translationArea = new TranslationArea;
    layout->addWidget(source, 1);
    layout->addWidget(m_divider);
    layout->addWidget(m_translationArea, 1);
    return row;
}

QWidget *PopoverContentView::makeBottomBar()
{
    m_bottomBar = new QWidget;
    auto *row = new QHBoxLayout(m_bottomBar);
    row->setContentsMargins(0, bottomBarVerticalPadding, 0, bottomBarVerticalPadding);
    row->setSpacing(0);

    auto *left = new QHBoxLayout;
    left->setContentsMargins(barPadding, 0, 0, 0);
    left->setSpacing(bottomBarSpacing);
    auto *sourceGroup = new CapsuleButtonGroup;
    m_copySource = new ActionIcon(QStringLiteral("copy"), QStringLiteral("Copy source"));
    m_microphone = new ActionIcon(QStringLiteral("microphone"), QStringLiteral("Microphone"));
    m_clear = new ActionIcon(QStringLiteral("clear"), QStringLiteral("Clear"));
    sourceGroup->addWidget(m_copySource);
    sourceGroup->addWidget(m_microphone);
    sourceGroup->addWidget(m_clear);
    m_translateButton = new TranslateButton;
    left->addWidget(sourceGroup, 0, Qt::AlignVCenter);
    left->addStretch(1);
    left->addWidget(m_translateButton, 0, Qt::AlignVCenter);

    auto *right = new QHBoxLayout;
    right->setContentsMargins(0, 0, barPadding, 0);
    auto *translationGroup = new CapsuleButtonGroup;
    m_copyTranslation = new ActionIcon(QStringLiteral("copy"), QStringLiteral("Copy translation"));
    m_speak = new ActionIcon(QStringLiteral("speak"), QStringLiteral("Speak"));
    translationGroup->addWidget(m_copyTranslation);
    translationGroup->addWidget(m_speak);
    right->addStretch(1);
    right->addWidget(translationGroup, 0, Qt::AlignVCenter);

    // Under the source and the translation columns, the divider's width between them.
    row->addLayout(left, 1);
    row->addSpacing(SwapDivider::width);
    row->addLayout(right, 1);

    // The button's shadow reaches beyond it, onto the bar.
    m_bottomBar->installEventFilter(this);
    connect(m_translateButton, &TranslateButton::shadowChanged, m_bottomBar,
            qOverload<const QRect &>(&QWidget::update));
    return m_bottomBar;
}

void PopoverContentView::bindViewModel()
{
    TranslatorViewModel *vm = &m_viewModel;

    // Both ways: the editor offers each edit, the model's answer (the text, or the old one
    // when it refuses) comes back; equal texts leave the editor, caret and all, untouched.
    connect(m_editor, &NoScrollTextEditor::textEdited, vm, &TranslatorViewModel::setSourceText);
    connect(vm, &TranslatorViewModel::sourceTextChanged, m_editor, &NoScrollTextEditor::setText);
    connect(vm, &TranslatorViewModel::sourceTextChanged, this, [this] {
        updateSourceSide();
        updateTranslateButton();
    });
    m_editor->setText(vm->sourceText());

    // The pills' answers must arrive while the choice is being announced (a direct call), so
    // the capsule knows to slide.
    const auto syncSourcePills = [this, vm] {
        m_sourcePills->setLanguages(vm->sourcePillLanguages(), vm->sourceMoreLanguages());
    };
    const auto syncTargetPills = [this, vm] {
        m_targetPills->setLanguages(vm->targetPillLanguages(), vm->targetMoreLanguages());
    };
    connect(vm, &TranslatorViewModel::recentSourceLanguagesChanged, this, syncSourcePills);
    connect(vm, &TranslatorViewModel::recentTargetLanguagesChanged, this, syncTargetPills);
    connect(vm, &TranslatorViewModel::sourceLanguageChanged, this, [this](const Language &l) {
        m_sourcePills->setSelected(l);
        updateSourceSide();
        updateTranslationArea();
    });
    connect(vm, &TranslatorViewModel::targetLanguageChanged, this, [this](const Language &l) {
        m_targetPills->setSelected(l);
        updateTranslationArea();
    });
    connect(m_sourcePills, &LanguagePillsView::languageChosen, vm,
            &TranslatorViewModel::setSourceLanguage, Qt::DirectConnection);
    connect(m_targetPills, &LanguagePillsView::languageChosen, vm,
            &TranslatorViewModel::setTargetLanguage, Qt::DirectConnection);
    syncSourcePills();
    syncTargetPills();
    m_sourcePills->setSelected(vm->sourceLanguage());
    m_targetPills->setSelected(vm->targetLanguage());

    for (auto signal :
         {&TranslatorViewModel::translatedTextChanged, &TranslatorViewModel::errorMessageChanged}) {
        connect(vm, signal, this, &PopoverContentView::updateTranslationArea);
    }
    connect(vm, &TranslatorViewModel::isTranslatingChanged, this, [this] {
        updateTranslationArea();
        updateTranslateButton();
    });
    connect(vm, &TranslatorViewModel::isSpeakingChanged, this,
            &PopoverContentView::updateSpeakButton);

    connect(m_divider->swapButton(), &QAbstractButton::clicked, vm,
            &TranslatorViewModel::swapLanguages);
    connect(m_translateButton, &QAbstractButton::clicked, vm, &TranslatorViewModel::translate);
    connect(m_copySource, &QAbstractButton::clicked, this,
            [vm] { copyToClipboard(vm->sourceText()); });
    connect(m_copyTranslation, &QAbstractButton::clicked, this,
            [vm] { copyToClipboard(vm->translatedText()); });
    connect(m_clear, &QAbstractButton::clicked, vm, &TranslatorViewModel::clear);
    connect(m_speak, &QAbstractButton::clicked, vm, &TranslatorViewModel::toggleSpeech);

    connect(m_microphone, &QAbstractButton::clicked, this, [this] {
        m_editor->setFocus();
        m_dictation.toggle();
    });
    connect(&m_dictation, &Dictation::stateChanged, this, &PopoverContentView::updateMicrophone);
    connect(&m_dictation, &Dictation::levelChanged, m_microphone, &ActionIcon::setLevel);
    connect(&m_dictation, &Dictation::recognized, this, &PopoverContentView::insertDictated);

    updateSourceSide();
    updateTranslationArea();
    updateTranslateButton();
    updateSpeakButton();
    updateMicrophone();
}

void PopoverContentView::updateSourceSide()
{
    const bool rightToLeft = writtenRightToLeft(m_viewModel.sourceLanguage());
    m_editor->setRightToLeft(rightToLeft);
    m_sourcePlaceholder->setText(m_viewModel.sourcePlaceholder());
    m_sourcePlaceholder->setAlignment(Qt::AlignTop | Qt::AlignAbsolute |
                                      (rightToLeft ? Qt::AlignRight : Qt::AlignLeft));
    m_sourcePlaceholder->setVisible(m_viewModel.sourceText().isEmpty());
}

void PopoverContentView::updateTranslationArea()
{
    m_translationArea->setContent({
        .isTranslating = m_viewModel.isTranslating(),
        .errorMessage = m_viewModel.errorMessage(),
        .translatedText = m_viewModel.translatedText(),
        .placeholder = m_viewModel.targetPlaceholder(),
        .rightToLeft = writtenRightToLeft(m_viewModel.targetLanguage()),
    });
}

void PopoverContentView::updateTranslateButton()
{
    const bool empty = m_viewModel.sourceText().isEmpty();
    m_translateButton->setDimmed(empty);
    m_translateButton->setEnabled(!empty && !m_viewModel.isTranslating());
}

void PopoverContentView::updateSpeakButton()
{
    const bool speaking = m_viewModel.isSpeaking();
    m_speak->setGlyph(speaking ? QStringLiteral("stop") : QStringLiteral("speak"));
    m_speak->setToolTip(speaking ? QStringLiteral("Stop speaking") : QStringLiteral("Speak"));
}

void PopoverContentView::updateMicrophone()
{
    using State = Dictation::State;
    const State state = m_dictation.state();
    const bool listening = state == State::starting || state == State::recording;
    m_microphone->setActive(listening);
    m_microphone->setEnabled(state != State::recognizing && state != State::downloading);
    m_microphone->setToolTip(listening ? QStringLiteral("Stop dictation")
                                       : QStringLiteral("Microphone"));
}

// In at the caret, over a selection, as if typed: the view model takes it through the usual
// path, the length limit included. Dictated words keep a space from the words around them.
void PopoverContentView::insertDictated(const QString &text)
{
    const QTextCursor cursor = m_editor->textCursor();
    const QString all = m_editor->toPlainText();
    const QString before = all.left(cursor.selectionStart());
    const QString after = all.mid(cursor.selectionEnd());
    QString insertion = text;
    if (!before.isEmpty() && !before.back().isSpace() && !text.front().isSpace() &&
        !text.front().isPunct()) {
        insertion.prepend(u' ');
    }
    if (!after.isEmpty() && after.front().isLetterOrNumber() && !text.back().isSpace()) {
        insertion.append(u' ');
    }
    m_editor->insertPlainText(insertion);
}

void PopoverContentView::translateIfEnabled()
{
    if (m_translateButton->isEnabled()) {
        m_translateButton->click();
    }
}

void PopoverContentView::setPanelFactory(PanelFactory factory)
{
    m_panelFactory = std::move(factory);
}

void PopoverContentView::showPanel(Panel panel)
{
    if (panel == m_panel) {
        return;
    }
    m_dictation.cancel(); // the words would land in a text the user no longer sees
    if (m_panelWidget) {
        m_panelWidget->hide();
        m_panelWidget->deleteLater();
        m_panelWidget = nullptr;
    }
    m_panel = panel;
    if (panel == Panel::none) {
        m_pages->setCurrentWidget(m_translator);
        m_editor->setFocus();
    } else {
        // A panel closes itself only while it is the one shown: a late close of one that was
        // replaced meanwhile changes nothing.
        const QPointer<PopoverContentView> self(this);
        auto close = [self, panel] {
            if (self && self->m_panel == panel) {
                self->showPanel(Panel::none);
            }
        };
        m_panelWidget =
            m_panelFactory ? m_panelFactory(panel, close) : makeFallbackPanel(panel, close);
        m_panelHost->layout()->addWidget(m_panelWidget);
        m_panelWidget->show(); // the host may be showing already
        m_pages->setCurrentWidget(m_panelHost);
        // The panel takes the keyboard (its editor, where it has one); left to itself, Qt would
        // hand it to the next control in line, the close button, and ring it.
        m_panelWidget->setFocus(Qt::OtherFocusReason);
    }
    m_resizeHandle->setVisible(panel == Panel::none);
    emit panelChanged(panel);
}

QWidget *PopoverContentView::makeFallbackPanel(Panel panel, std::function<void()> close)
{
    auto *widget = new QWidget;
    auto *column = new QVBoxLayout(widget);
    column->setContentsMargins(20, 20, 20, 20);
    auto *header = new QHBoxLayout;
    auto *title = new QLabel;
    title->setFont(AppTheme::font(this->font(), panelTitleSize, QFont::DemiBold));
    switch (panel) {
    case Panel::settings:
        title->setText(QStringLiteral("Settings"));
        break;
    case Panel::report:
        title->setText(QStringLiteral("Report a Problem"));
        break;
    case Panel::about:
        title->setText(QStringLiteral("About"));
        break;
    case Panel::none:
        break;
    }
    auto *closeButton = new CloseButton(CloseButton::Look::filledCircle, panelTitleSize);
    connect(closeButton, &QAbstractButton::clicked, widget, std::move(close));
    header->addWidget(title);
    header->addStretch(1);
    header->addWidget(closeButton);
    column->addLayout(header);
    column->addStretch(1);
    return widget;
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

bool PopoverContentView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_languageBar && event->type() == QEvent::Resize) {
        placeLogo();
    } else if (watched == m_bottomBar && event->type() == QEvent::Paint) {
        // Under the bar's children, which paint after this.
        QPainter painter(m_bottomBar);
        painter.setRenderHint(QPainter::Antialiasing);
        m_translateButton->paintShadow(painter);
    }
    return QWidget::eventFilter(watched, event);
}

void PopoverContentView::placeLogo()
{
    const QRect bar = m_languageBar->rect();
    // Centred on the pills' row, which is the bar without its paddings.
    const QRect row = bar.adjusted(barPadding, barPadding, -barPadding, -languageBarBottomPadding);
    m_logo->move(row.center().x() - logoSize / 2 + 1, row.center().y() - logoSize / 2 + 1);
}

void PopoverContentView::placeResizeHandle()
{
    const int size = ResizeHandle::hitSize;
    m_resizeHandle->setGeometry(width() - resizeHandlePadding - size,
                                height() - resizeHandlePadding - size, size, size);
}

void PopoverContentView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeResizeHandle();
}

void PopoverContentView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The popover opens ready for typing.
    if (m_panel == Panel::none) {
        m_editor->setFocus();
    }
}

void PopoverContentView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_dictation.cancel();
}

// Escape ends what dictation is doing before it may put the popover away.
void PopoverContentView::keyPressEvent(QKeyEvent *event)
{
    using State = Dictation::State;
    const State state = m_dictation.state();
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier &&
        (state == State::starting || state == State::recording || state == State::recognizing ||
         state == State::offeringModel)) {
        m_dictation.cancel();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PopoverContentView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (AppTheme::isSchemeChange(event)) {
        restyle();
    }
}

void PopoverContentView::restyle()
{
    const AppTheme::Colors &colors = AppTheme::colors();
    m_editor->setFont(AppTheme::font(this->font(), textSize));
    m_sourcePlaceholder->setFont(AppTheme::font(this->font(), textSize));
    QColor placeholder = colors.placeholder;
    placeholder.setAlphaF(float(placeholder.alphaF() * sourcePlaceholderOpacity));
    AppTheme::setTextColor(m_sourcePlaceholder, placeholder);
    const QPixmap logo =
        renderLogo(logoPath, logoSize, colors.label, logoOpacity, devicePixelRatioF());
    m_logo->setPixmap(logo);
    m_logo->setVisible(!logo.isNull());
}
