#pragma once

#include <QCoro/QCoroTask>
#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>

class NoScrollTextEditor;
class CloseButton;
class QAbstractButton;
class QLabel;
class QTimer;
class TelegramReporter;

// The "Report a Problem" panel: the user describes a problem and sends it, with the system and
// app versions, as a chat message to the deployment's support chat. Editing -> Sending (button
// disabled, "Sending...") -> back to Editing when the report could not be delivered, with the
// text kept and a red line saying so, or Sent ("Thank you! Report sent.") and closed through
// `onClose` 1.5 s later. The close button calls `onClose` in any state; a send under way still
// completes, and on success calls `onClose` once more later on.
//
// A host shows a new panel each time, so every report starts empty.
class ReportProblemView : public QWidget
{
    Q_OBJECT

public:
    // Delivers one finished report text: returns once it is delivered, throws when it was not.
    using Sender = std::function<QCoro::Task<>(QString report)>;

    static constexpr std::chrono::milliseconds defaultCloseDelay{1500};
    static inline const QString placeholderText = QStringLiteral("Describe the problem...");
    static inline const QString sentText = QStringLiteral("Thank you! Report sent.");
    static inline const QString failedText =
        QStringLiteral("Report could not be sent. Please try again.");
    static inline const QString notConfiguredText =
        QStringLiteral("Problem reports are not configured in this build");

    // An empty `send` means this build cannot send reports: the Send button stays disabled.
    ReportProblemView(Sender send, std::function<void()> onClose, QWidget *parent = nullptr);
    ~ReportProblemView() override;

    // Through `reporter` to the chat this build is configured for; empty when it has none.
    static Sender deploymentSender(TelegramReporter &reporter);
    // Sends to `chatId` (and its forum topic `threadId`) through `reporter`. Delivered means
    // accepted by the Bot API; a refusal, a failed exchange or an unusable token is not. A
    // reporter gone meanwhile counts as not delivered.
    static Sender telegramSender(TelegramReporter &reporter, QString chatId,
                                 std::optional<qint64> threadId);

    QString problemText() const { return m_problemText; }
    bool isSending() const { return m_sending; }
    bool isSent() const { return m_sent; }
    bool hasFailed() const { return m_failed; }
    bool canSend() const;

    std::chrono::milliseconds closeDelay() const { return m_closeDelay; }
    void setCloseDelay(std::chrono::milliseconds delay) { m_closeDelay = delay; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void send();
    QCoro::Task<> deliver(Sender send, QString report);
    void closePanel();
    void updateState();
    void applyColors();

    Sender m_send;
    std::function<void()> m_onClose;
    std::chrono::milliseconds m_closeDelay = defaultCloseDelay;
    QString m_problemText;
    bool m_sending = false;
    bool m_sent = false;
    bool m_failed = false; // the last send failed
    bool m_applyingColors = false;

    QLabel *m_title;
    CloseButton *m_closeButton;
    NoScrollTextEditor *m_editor;
    QLabel *m_placeholder;
    QLabel *m_sentLine;
    QLabel *m_failedLine;
    QAbstractButton *m_sendButton;
    QTimer *m_closeTimer;
};
