#include "dictationbar.h"

#include "apptheme.h"
#include "dictation.h"
#include "modelstore.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int horizontalInset = 16;
constexpr int verticalInset = 6;
constexpr int progressHeight = 4;

QPushButton *makeButton()
{
    auto *button = new QPushButton;
    button->setFlat(true);
    button->setFocusPolicy(Qt::NoFocus); // the caret stays in the source text
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace

DictationBar::DictationBar(Dictation &dictation, QWidget *parent)
    : QWidget(parent)
    , m_dictation(dictation)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(horizontalInset, verticalInset, horizontalInset, verticalInset);
    column->setSpacing(verticalInset);
    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    m_text = new QLabel;
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_primary = makeButton();
    m_secondary = makeButton();
    row->addWidget(m_text, 1);
    row->addWidget(m_primary, 0, Qt::AlignVCenter);
    row->addWidget(m_secondary, 0, Qt::AlignVCenter);
    m_progress = new QProgressBar;
    m_progress->setFixedHeight(progressHeight);
    m_progress->setTextVisible(false);
    column->addLayout(row);
    column->addWidget(m_progress);

    connect(m_primary, &QPushButton::clicked, this, [this] {
        if (m_dictation.state() == Dictation::State::offeringModel) {
            m_dictation.downloadModel();
        }
    });
    connect(m_secondary, &QPushButton::clicked, this, [this] {
        if (m_dictation.state() == Dictation::State::downloading) {
            m_dictation.cancelDownload();
        } else {
            m_dictation.dismiss();
        }
    });
    connect(&m_dictation, &Dictation::stateChanged, this, &DictationBar::refresh);
    connect(&m_dictation, &Dictation::messageChanged, this, &DictationBar::refresh);
    connect(&m_dictation, &Dictation::downloadProgress, this, [this](const QString &name) {
        if (name == m_dictation.modelName()) {
            refresh();
        }
    });
    m_progress->setRange(0, 1000);
    m_clock.setInterval(250);
    connect(&m_clock, &QTimer::timeout, this, &DictationBar::showElapsed);
    restyle();
    refresh();
}

void DictationBar::refresh()
{
    using State = Dictation::State;
    const State state = m_dictation.state();
    QString text = m_dictation.message();
    QString primary;
    QString secondary;
    switch (state) {
    case State::idle:
        secondary = text.isEmpty() ? QString() : tr("Dismiss");
        break;
    case State::offeringModel:
        primary = tr("Download");
        secondary = tr("Not Now");
        break;
    case State::downloading: {
        const ModelStore::Status status = m_dictation.models().status(m_dictation.modelName());
        text = tr("Downloading the speech model \u201c%1\u201d: %2 of %3")
                   .arg(m_dictation.modelName(), QLocale().formattedDataSize(status.bytes),
                        QLocale().formattedDataSize(status.total));
        m_progress->setValue(status.total > 0 ? int(status.bytes * 1000 / status.total) : 0);
        secondary = tr("Cancel");
        break;
    }
    case State::starting:
    case State::recording:
        break;
    case State::recognizing:
        text = tr("Turning speech into text\u2026");
        break;
    }
    const bool listening = state == State::starting || state == State::recording;
    if (listening && !m_clock.isActive()) {
        m_listening.start();
        m_clock.start();
    } else if (!listening) {
        m_clock.stop();
    }
    m_text->setText(text);
    m_primary->setText(primary);
    m_primary->setVisible(!primary.isEmpty());
    m_secondary->setText(secondary);
    m_secondary->setVisible(!secondary.isEmpty());
    m_progress->setVisible(state == State::downloading);
    if (listening) {
        showElapsed();
    }
    setVisible(listening || !m_text->text().isEmpty());
}

void DictationBar::showElapsed()
{
    const qint64 seconds = m_listening.elapsed() / 1000;
    m_text->setText(tr("Listening\u2026 %1:%2 \u2014 press the microphone to stop")
                        .arg(seconds / 60)
                        .arg(seconds % 60, 2, 10, QLatin1Char('0')));
}

void DictationBar::changeEvent(QEvent *event)
{
    if (AppTheme::isSchemeChange(event)) {
        restyle();
    }
    QWidget::changeEvent(event);
}

void DictationBar::restyle()
{
    const AppTheme::Colors &colors = AppTheme::colors();
    m_text->setFont(AppTheme::font(font(), textSize));
    AppTheme::setTextColor(m_text, colors.secondaryLabel);
    for (QPushButton *button : {m_primary, m_secondary}) {
        button->setFont(AppTheme::font(font(), textSize, QFont::DemiBold));
        QPalette palette = button->palette();
        palette.setColor(QPalette::ButtonText, colors.accent);
        button->setPalette(palette);
    }
    QPalette palette = m_progress->palette();
    palette.setColor(QPalette::Highlight, colors.accent);
    m_progress->setPalette(palette);
}
