#include "settingsview.h"

#include "apikeysection.h"
#include "apptheme.h"
#include "closebutton.h"
#include "cursormodifier.h"
#include "dictationsection.h"
#include "divider.h"
#include "loginitem.h"
#include "overlayscrollbar.h"
#include "preferences.h"
#include "shortcutrow.h"
#include "shortcutsetting.h"
#include "stylerow.h"
#include "translatorviewmodel.h"

#include <QAbstractButton>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace {

bool isDark()
{
    return AppTheme::current() == AppTheme::Scheme::dark;
}

QColor white(float alpha)
{
    return QColor::fromRgbF(1, 1, 1, alpha);
}

QColor black(float alpha)
{
    return QColor::fromRgbF(0, 0, 0, alpha);
}

QLabel *makeLabel(const QString &text, int pixelSize, QFont::Weight weight, const QColor &color)
{
    auto *label = new QLabel(text);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

// A rounded panel that groups rows, faintly lighter than the backdrop.
class Card : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        const bool dark = isDark();
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal radius = SettingsView::cardRadius;
        painter.setPen(Qt::NoPen);
        painter.setBrush(white(dark ? 0.08f : 0.5f));
        painter.drawRoundedRect(QRectF(rect()), radius, radius);
        // The border lies inside the edge: a 1-point line centred half a point in.
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(white(dark ? 0.1f : 0.3f), 1));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5,
                                radius - 0.5);
    }
};

// An on/off switch: a track that fills with the accent colour and a knob that slides over.
class Switch : public QAbstractButton
{
public:
    static constexpr int trackWidth = 38;
    static constexpr int trackHeight = 22;
    static constexpr int knobInset = 2;

    explicit Switch(QWidget *parent = nullptr)
        : QAbstractButton(parent)
    {
        setCheckable(true);
        setFocusPolicy(Qt::NoFocus);
        setFixedSize(trackWidth, trackHeight);
        new CursorModifier(this, Qt::PointingHandCursor);
        m_slide.setDuration(150);
        m_slide.setEasingCurve(QEasingCurve::OutCubic);
        connect(&m_slide, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
            m_position = value.toReal();
            update();
        });
        connect(this, &QAbstractButton::toggled, this, [this](bool on) {
            if (!isVisible()) {
                m_position = on ? 1 : 0;
                return;
            }
            m_slide.stop();
            m_slide.setStartValue(m_position);
            m_slide.setEndValue(on ? 1.0 : 0.0);
            m_slide.start();
        });
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const bool dark = isDark();
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF track(rect());
        const qreal radius = track.height() / 2;
        const QColor off = dark ? white(0.16f) : black(0.09f);
        const QColor on = AppTheme::colors().accent;
        painter.setPen(Qt::NoPen);
        painter.setBrush(off);
        painter.drawRoundedRect(track, radius, radius);
        if (m_position > 0) {
            painter.setOpacity(m_position);
            painter.setBrush(on);
            painter.drawRoundedRect(track, radius, radius);
            painter.setOpacity(1);
        }
        const qreal knob = track.height() - 2 * knobInset;
        const qreal x = knobInset + m_position * (track.width() - knob - 2 * knobInset);
        const QRectF knobRect(x, knobInset, knob, knob);
        painter.setBrush(black(isDown() ? 0.2f : 0.12f));
        painter.drawEllipse(knobRect.translated(0, 0.5).adjusted(-0.5, -0.5, 0.5, 0.5));
        painter.setBrush(isDown() ? QColor(0xf0, 0xf0, 0xf0) : QColor(Qt::white));
        painter.drawEllipse(knobRect);
    }

private:
    QVariantAnimation m_slide;
    qreal m_position = 0; // 0 off, 1 on
};

} // namespace

SettingsView::SettingsView(TranslatorViewModel &vm, LoginItem &loginItem, KeychainHelper *keychain,
                           Shortcuts shortcuts, Preferences &preferences, Dictation *dictation,
                           std::function<void()> onClose, QWidget *parent)
    : QWidget(parent)
    , m_vm(vm)
    , m_loginItem(loginItem)
    , m_preferences(preferences)
    , m_onClose(std::move(onClose))
{
    makeShortcutSettings(shortcuts);

    QList<QWidget *> styleRows;
    for (TranslationStyle style : TranslationStyle::allCases()) {
        auto *row = new StyleRow(style);
        connect(row, &StyleRow::clicked, this, [this, style] { m_vm.setTranslationStyle(style); });
        m_styleRows.append(row);
        styleRows.append(row);
    }
    connect(&m_vm, &TranslatorViewModel::translationStyleChanged, this,
            &SettingsView::showSelectedStyle);
    showSelectedStyle();

    m_apiKey = new ApiKeySection(keychain);

    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(contentPadding, 0, contentPadding, contentPadding);
    column->setSpacing(sectionSpacing);
    column->addWidget(makeSection(tr("SHORTCUTS"), {m_showRow, m_clipboardRow}));
    column->addWidget(makeSection(tr("TRANSLATION STYLE"), styleRows));
    if (dictation) {
        m_dictation = new DictationSection(*dictation);
        column->addWidget(makeSection(tr("DICTATION"), {m_dictation}));
    }
    column->addWidget(makeSection(tr("DEEPSEEK API KEY"), {m_apiKey}));
    column->addWidget(makeSection(tr("OTHER"), {makeLaunchAtLoginRow()}));
    column->addStretch(1);

    m_scroll = new QScrollArea;
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The range stays with the hidden bar; the thin indicator laid over the edge shows it.
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_scroll->setWidget(content);
    // setWidget() makes it fill its background; the backdrop is to show through.
    content->setAutoFillBackground(false);
    m_scroll->installEventFilter(this);
    m_scrollIndicator = new OverlayScrollBar(m_scroll->verticalScrollBar(), this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());
    layout->addWidget(m_scroll, 1);
}

SettingsView::~SettingsView()
{
    // Before the rows they watch go, and giving back what they released.
    delete m_showSetting;
    delete m_clipboardSetting;
}

void SettingsView::makeShortcutSettings(Shortcuts shortcuts)
{
    using Action = Preferences::ShortcutAction;
    m_showRow = new ShortcutRow(tr("Show Parlora - Quenzal"), {});
    m_clipboardRow = new ShortcutRow(tr("Translate Clipboard"), {});
    m_showSetting =
        new ShortcutSetting(m_showRow, shortcuts.show, m_preferences, Action::show, this);
    m_clipboardSetting = new ShortcutSetting(m_clipboardRow, shortcuts.translateClipboard,
                                             m_preferences, Action::translateClipboard, this);
    // Recording one releases the other too, and may not take the other's combination.
    const auto pair = [](ShortcutSetting *one, ShortcutSetting *other) {
        connect(one, &ShortcutSetting::recordingStarted, other, [one, other] {
            one->setReserved(other->sequence());
            other->suspend();
        });
        connect(one, &ShortcutSetting::recordingEnded, other, &ShortcutSetting::resume);
    };
    pair(m_showSetting, m_clipboardSetting);
    pair(m_clipboardSetting, m_showSetting);
}

QWidget *SettingsView::makeHeader()
{
    auto *header = new QWidget;
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(headerPadding, headerPadding, headerPadding, headerPadding);
    row->addWidget(makeLabel(tr("Settings"), titleSize, QFont::DemiBold, AppTheme::colors().label));
    row->addStretch(1);
    m_close = new CloseButton(CloseButton::Look::crossOnDisc, closeButtonSize);
    connect(m_close, &QAbstractButton::clicked, this, [this] {
        if (m_onClose) {
            m_onClose();
        }
    });
    row->addWidget(m_close);
    return header;
}

QWidget *SettingsView::makeSection(const QString &caption, const QList<QWidget *> &rows)
{
    auto *section = new QWidget;
    auto *column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(captionSpacing);
    QLabel *label =
        makeLabel(caption, captionSize, QFont::Medium, AppTheme::colors().secondaryLabel);
    label->setContentsMargins(captionPadding, 0, captionPadding, 0);
    column->addWidget(label);

    auto *card = new Card;
    card->setObjectName(QStringLiteral("card"));
    auto *stack = new QVBoxLayout(card);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (i > 0) {
            stack->addWidget(new Divider);
        }
        stack->addWidget(rows[i]);
    }
    column->addWidget(card);
    return section;
}

QWidget *SettingsView::makeLaunchAtLoginRow()
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(16, 12, 16, 12);
    QLabel *label =
        makeLabel(tr("Launch at Login"), rowTitleSize, QFont::Normal, AppTheme::colors().label);
    layout->addWidget(label);
    layout->addStretch(1);
    m_launchAtLogin = new Switch;
    m_launchAtLogin->setObjectName(QStringLiteral("launchAtLogin"));
    m_launchAtLogin->setAccessibleName(label->text());
    // Where the desktop stands now, whatever was stored last time.
    m_launchAtLogin->setChecked(m_loginItem.isEnabled());
    connect(m_launchAtLogin, &QAbstractButton::toggled, this, &SettingsView::setLaunchAtLogin);
    layout->addWidget(m_launchAtLogin);
    return row;
}

void SettingsView::setLaunchAtLogin(bool enabled)
{
    m_preferences.setLaunchAtLogin(enabled);
    // A failure is not shown: the switch keeps the user's choice, the next opening the truth.
    if (enabled) {
        m_loginItem.enable();
    } else {
        m_loginItem.disable();
    }
}

void SettingsView::showSelectedStyle()
{
    for (StyleRow *row : std::as_const(m_styleRows)) {
        row->setSelected(row->translationStyle() == m_vm.translationStyle());
    }
}

bool SettingsView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_scroll && (event->type() == QEvent::Resize || event->type() == QEvent::Move)) {
        const QRect area = m_scroll->geometry();
        m_scrollIndicator->setGeometry(area.right() - OverlayScrollBar::thickness - 2, area.top(),
                                       OverlayScrollBar::thickness, area.height() - 4);
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Shown for a moment on opening, as a hint that there is more below.
    QTimer::singleShot(0, m_scrollIndicator, &OverlayScrollBar::flash);
}
