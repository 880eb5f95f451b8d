#include "apikeysection.h"

#include "apptheme.h"
#include "deepseekservice.h"
#include "keychainhelper.h"
#include "settingsview.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

ApiKeySection::ApiKeySection(KeychainHelper *keychain, QWidget *parent)
    : QWidget(parent)
    , m_keychain(keychain)
    , m_field(new QLineEdit)
    , m_save(new QPushButton(tr("Save")))
    , m_remove(new QPushButton(tr("Remove")))
    , m_status(new QLabel)
    , m_message(new QLabel)
{
    m_field->setEchoMode(QLineEdit::Password);
    m_field->setPlaceholderText(tr("Paste your DeepSeek API key"));
    m_field->setClearButtonEnabled(false);
    m_field->setAccessibleName(tr("DeepSeek API key"));

    QFont small = font();
    small.setPixelSize(statusSize);
    m_status->setFont(small);
    AppTheme::setTextColor(m_status, AppTheme::colors().secondaryLabel);
    m_message->setFont(small);
    m_message->setWordWrap(true);
    AppTheme::setTextColor(m_message, AppTheme::colors().alert);
    m_message->hide();

    auto *controls = new QHBoxLayout;
    controls->setContentsMargins(0, 0, 0, 0);
    controls->setSpacing(8);
    controls->addWidget(m_field, 1);
    controls->addWidget(m_save);
    controls->addWidget(m_remove);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(horizontalPadding, verticalPadding, horizontalPadding,
                               verticalPadding);
    layout->setSpacing(6);
    layout->addLayout(controls);
    layout->addWidget(m_status);
    layout->addWidget(m_message);

    connect(m_field, &QLineEdit::textChanged, this, &ApiKeySection::updateButtons);
    connect(m_field, &QLineEdit::returnPressed, this, [this] {
        if (m_save->isEnabled()) {
            save();
        }
    });
    connect(m_save, &QPushButton::clicked, this, [this] { save(); });
    connect(m_remove, &QPushButton::clicked, this, [this] { remove(); });

    if (!m_keychain) {
        m_status->setText(noKeyringText);
        m_field->setEnabled(false);
        updateButtons();
        return;
    }
    lookUp();
}

QString ApiKeySection::status() const
{
    return m_status->text();
}

QString ApiKeySection::message() const
{
    return m_message->text();
}

void ApiKeySection::setBusy(bool busy)
{
    m_busy = busy;
    updateButtons();
}

void ApiKeySection::setStored(bool stored)
{
    m_stored = stored;
    m_status->setText(stored ? keyStoredText : noKeyStoredText);
    updateButtons();
}

void ApiKeySection::setMessage(const QString &text)
{
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}

void ApiKeySection::updateButtons()
{
    const bool usable = m_keychain && !m_busy;
    m_save->setEnabled(usable && !m_field->text().trimmed().isEmpty());
    m_remove->setEnabled(usable && m_stored);
}

QCoro::Task<> ApiKeySection::lookUp()
{
    const QPointer<ApiKeySection> self(this);
    KeychainHelper &helper = *m_keychain;
    m_status->setText(lookingText);
    setBusy(true);
    const KeychainHelper::Lookup stored = co_await helper.load(KeychainHelper::deepSeekApiKeyName);
    if (!self) {
        co_return;
    }
    setBusy(false);
    showStored(stored);
    emit settled();
}

void ApiKeySection::showStored(const KeychainHelper::Lookup &stored)
{
    // The translator takes an empty item for none, so it is shown as none.
    setStored(!stored.value().value_or(QString()).isEmpty());
    if (stored.outcome == SecretStore::Outcome::locked) {
        m_status->setText(lockedText);
    }
}

QCoro::Task<> ApiKeySection::save()
{
    // Pasting from a web page or a mail often brings a line break or spaces along.
    const QString key = m_field->text().trimmed();
    if (key.isEmpty() || m_busy || !m_keychain) {
        co_return;
    }
    if (!DeepSeekService::isSendableApiKey(key)) {
        setMessage(unsendableKeyText);
        co_return;
    }
    const QPointer<ApiKeySection> self(this);
    KeychainHelper &helper = *m_keychain;
    setMessage({});
    setBusy(true);
    const bool saved = co_await helper.save(key, KeychainHelper::deepSeekApiKeyName);
    if (!self) {
        co_return;
    }
    if (saved) {
        m_field->clear();
        setBusy(false);
        setStored(true);
        emit settled();
        co_return;
    }
    setMessage(saveFailedText);
    // A refused write leaves the old key; the keyring is asked what it holds now all the same.
    const KeychainHelper::Lookup stored = co_await helper.load(KeychainHelper::deepSeekApiKeyName);
    if (!self) {
        co_return;
    }
    setBusy(false);
    showStored(stored);
    emit settled();
}

QCoro::Task<> ApiKeySection::remove()
{
    if (m_busy || !m_keychain) {
        co_return;
    }
    const QPointer<ApiKeySection> self(this);
    KeychainHelper &helper = *m_keychain;
    setMessage({});
    setBusy(true);
    const bool removed = co_await helper.remove(KeychainHelper::deepSeekApiKeyName);
    if (!self) {
        co_return;
    }
    setBusy(false);
    if (removed) {
        setStored(false);
    } else {
        setMessage(removeFailedText);
    }
    emit settled();
}
