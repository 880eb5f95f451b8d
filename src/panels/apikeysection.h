#pragma once

#include "keychainhelper.h"

#include <QCoro/QCoroTask>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

// The DeepSeek API key in the settings: a password field with Save and Remove, and a line that
// tells whether a key is stored in the keyring, never the key itself. Save writes the keyring
// item the translator reads its key from; Remove deletes it.
//
// The keyring answers asynchronously, at times only after an unlock prompt: the buttons wait
// for one answer at a time, and an answer that comes after the section is gone is dropped. A
// key the keyring refused stays in the field for another try. Without a store, nothing can be
// stored and the section says so.
class ApiKeySection : public QWidget
{
    Q_OBJECT

public:
    static inline const QString keyStoredText = QStringLiteral("A key is stored");
    static inline const QString noKeyStoredText = QStringLiteral("No key stored");
    static inline const QString lookingText = QStringLiteral("Looking in the keyring...");
    static inline const QString lockedText =
        QStringLiteral("The keyring is locked: unlock it to see or change the key");
    static inline const QString noKeyringText =
        QStringLiteral("No keyring available: the key cannot be stored");
    static inline const QString saveFailedText =
        QStringLiteral("The keyring did not store the key. Unlock the keyring and try again.");
    static inline const QString removeFailedText =
        QStringLiteral("The keyring did not remove the key. Unlock the keyring and try again.");
    static inline const QString unsendableKeyText =
        QStringLiteral("An API key has no spaces, line breaks or characters outside plain ASCII, "
                       "and at most 1024 characters.");

    static constexpr int horizontalPadding = 16;
    static constexpr int verticalPadding = 12;
    static constexpr int statusSize = 11;

    // `keychain` null: no keyring. Otherwise it must outlive every call this section starts.
    explicit ApiKeySection(KeychainHelper *keychain, QWidget *parent = nullptr);

    QLineEdit *field() const { return m_field; }
    QPushButton *saveButton() const { return m_save; }
    QPushButton *removeButton() const { return m_remove; }
    QString status() const;
    // A failure to show beside the status, empty when there is none.
    QString message() const;
    bool isBusy() const { return m_busy; }

signals:
    // After each answer of the keyring has been shown.
    void settled();

private:
    QCoro::Task<> lookUp();
    QCoro::Task<> save();
    QCoro::Task<> remove();

    void setBusy(bool busy);
    void setStored(bool stored);
    void showStored(const KeychainHelper::Lookup &stored);
    void setMessage(const QString &text);
    void updateButtons();

    KeychainHelper *m_keychain;
    bool m_busy = false;
    bool m_stored = false;
    QLineEdit *m_field;
    QPushButton *m_save;
    QPushButton *m_remove;
    QLabel *m_status;
    QLabel *m_message;
};
