#include "dictationsection.h"

#include "apptheme.h"
#include "dictation.h"
#include "divider.h"
#include "modelrow.h"
#include "modelstore.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int progressSteps = 1000;

// Whole units where the catalogue lists rounded sizes; a tenth where a download moves.
QString dataSize(qint64 bytes, int precision = 0)
{
    return QLocale().formattedDataSize(bytes, precision);
}

} // namespace

DictationSection::DictationSection(Dictation &dictation, QWidget *parent)
    : QWidget(parent)
    , m_dictation(dictation)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    for (const ModelCatalogue::Model &model : m_dictation.models().catalogue().models()) {
        auto *row = new ModelRow(model.name, model.size);
        connect(row, &ModelRow::clicked, this,
                [this, name = model.name] { m_dictation.setModelName(name); });
        m_rows.append(row);
        column->addWidget(row);
        column->addWidget(new Divider);
    }
    column->addWidget(makeStatusRow());

    const auto chosen = [this](const QString &name) {
        if (name == m_dictation.modelName()) {
            refresh();
        }
    };
    ModelStore &models = m_dictation.models();
    connect(&m_dictation, &Dictation::downloadProgress, this, chosen);
    connect(&m_dictation, &Dictation::downloadEnded, this, chosen);
    connect(&models, &ModelStore::statusChanged, this, chosen);
    connect(&m_dictation, &Dictation::modelNameChanged, this, &DictationSection::refresh);
    connect(&m_dictation, &Dictation::stateChanged, this, &DictationSection::refresh);

    connect(m_download, &QPushButton::clicked, this,
            [this] { m_dictation.downloadModel(m_dictation.modelName()); });
    connect(m_cancel, &QPushButton::clicked, this,
            [this] { m_dictation.cancelDownload(m_dictation.modelName()); });
    connect(m_remove, &QPushButton::clicked, this,
            [this] { m_dictation.removeModel(m_dictation.modelName()); });

    restyle();
    refresh();
}

QWidget *DictationSection::makeStatusRow()
{
    auto *row = new QWidget;
    m_status = new QLabel;
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);
    m_message = new QLabel;
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_progress = new QProgressBar;
    m_progress->setRange(0, progressSteps);
    m_progress->setTextVisible(false);
    m_progress->setFixedHeight(progressHeight);
    m_download = new QPushButton(tr("Download"));
    m_cancel = new QPushButton(tr("Cancel"));
    m_remove = new QPushButton(tr("Remove"));

    auto *line = new QHBoxLayout;
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(8);
    line->addWidget(m_status, 1);
    for (QPushButton *button : {m_download, m_cancel, m_remove}) {
        line->addWidget(button, 0, Qt::AlignVCenter);
    }
    auto *layout = new QVBoxLayout(row);
    layout->setContentsMargins(horizontalPadding, verticalPadding, horizontalPadding,
                               verticalPadding);
    layout->setSpacing(8);
    layout->addLayout(line);
    layout->addWidget(m_progress);
    layout->addWidget(m_message);
    return row;
}

QString DictationSection::status() const
{
    return m_status->text();
}

QString DictationSection::message() const
{
    return m_message->isHidden() ? QString() : m_message->text();
}

void DictationSection::refresh()
{
    const QString name = m_dictation.modelName();
    for (ModelRow *row : std::as_const(m_rows)) {
        row->setSelected(row->modelName() == name);
    }

    const ModelStore::Status status = m_dictation.models().status(name);
    const ModelCatalogue::Model *model = m_dictation.models().catalogue().find(name);
    const qint64 listed = model ? model->size : 0;
    QString text;
    QString failure;
    bool download = false;
    bool remove = false;
    switch (status.state) {
    case ModelStore::State::notDownloaded:
        text = tr("Not downloaded");
        failure = m_dictation.downloadError(name);
        download = true;
        break;
    case ModelStore::State::partial:
        text = tr("%1 of %2 saved. The download resumes from there.")
                   .arg(dataSize(status.bytes, 1), dataSize(listed));
        failure = m_dictation.downloadError(name);
        download = true;
        remove = true; // what was saved takes room too
        break;
    case ModelStore::State::downloading:
        text =
            tr("Downloading\u2026 %1 of %2").arg(dataSize(status.bytes, 1), dataSize(status.total));
        m_progress->setValue(status.total > 0 ? int(std::min(status.bytes, status.total) *
                                                    progressSteps / status.total)
                                              : 0);
        break;
    case ModelStore::State::ready:
        text = tr("Ready, %1 on disk").arg(dataSize(status.bytes));
        remove = true;
        break;
    }
    m_status->setText(text);
    m_message->setText(failure);
    m_message->setVisible(!failure.isEmpty());
    m_progress->setVisible(status.state == ModelStore::State::downloading);
    m_download->setVisible(download);
    m_cancel->setVisible(status.state == ModelStore::State::downloading);
    m_remove->setVisible(remove);
}

void DictationSection::changeEvent(QEvent *event)
{
    if (AppTheme::isSchemeChange(event)) {
        restyle();
    }
    QWidget::changeEvent(event);
}

void DictationSection::restyle()
{
    const AppTheme::Colors &colors = AppTheme::colors();
    m_status->setFont(AppTheme::font(font(), statusSize));
    AppTheme::setTextColor(m_status, colors.label);
    m_message->setFont(AppTheme::font(font(), messageSize));
    AppTheme::setTextColor(m_message, colors.alert);
    QPalette palette = m_progress->palette();
    palette.setColor(QPalette::Highlight, colors.accent);
    m_progress->setPalette(palette);
}
