#include "reportproblemview.h"

#include "apptheme.h"
#include "closebutton.h"
#include "cursormodifier.h"
#include "deployment.h"
#include "noscrolltexteditor.h"
#include "problemreport.h"
#include "telegramreporter.h"
#include "transporterror.h"

#include <QAbstractButton>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScopedValueRollback>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int padding = 24;
constexpr int spacing = 16;
constexpr int titleSize = 20;
constexpr int editorTextSize = 16;
constexpr int statusTextSize = 14;
constexpr QPoint placeholderOffset{2, NoScrollTextEditor::verticalInset};

// The Send button: white bold text on an accent capsule, the whole of it at half opacity while
// it cannot be pressed.
class CapsuleButton : public QAbstractButton
{
public:
    static constexpr int height = 34;
    static constexpr int horizontalPadding = 24;

    explicit CapsuleButton(QWidget *parent)
        : QAbstractButton(parent)
    {
        setFont(AppTheme::font(font(), statusTextSize, QFont::Bold));
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        // Pressing it must not take the caret away from the description.
        setFocusPolicy(Qt::TabFocus);
        new CursorModifier(this, Qt::PointingHandCursor);
    }

    QSize sizeHint() const override
    {
        const int textWidth = fontMetrics().horizontalAdvance(text());
        return {textWidth + 2 * horizontalPadding, height};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(isEnabled() ? 1.0 : 0.5);
        const QRectF bounds = QRectF(rect());
        const qreal radius = bounds.height() / 2;
        painter.setPen(Qt::NoPen);
        painter.setBrush(AppTheme::colors().accent);
        painter.drawRoundedRect(bounds, radius, radius);
        if (isDown()) {
            painter.setBrush(QColor(0, 0, 0, 46));
            painter.drawRoundedRect(bounds, radius, radius);
        }
        if (hasFocus()) {
            painter.setPen(QPen(QColor(255, 255, 255, 170), 1.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(bounds.adjusted(2, 2, -2, -2), radius - 2, radius - 2);
        }
        painter.setPen(Qt::white);
        painter.drawText(bounds, Qt::AlignCenter, text());
    }
};

QCoro::Task<> sendThroughTelegram(QPointer<TelegramReporter> reporter, QString chatId,
                                  std::optional<qint64> threadId, QString report)
{
    if (!reporter) {
        throw TransportError(QNetworkReply::OperationCanceledError,
                             QStringLiteral("Operation canceled"));
    }
    // Sent means accepted: a refusal (a wrong token or chat, a text too long) loses the report
    // as surely as no connection does.
    const TelegramReporter::Reply reply =
        co_await reporter->sendMessage(std::move(chatId), threadId, std::move(report));
    if (!reply.accepted) {
        throw TelegramReporter::Refused(reply.status);
    }
}

} // namespace

ReportProblemView::ReportProblemView(Sender send, std::function<void()> onClose, QWidget *parent)
    : QWidget(parent)
    , m_send(std::move(send))
    , m_onClose(std::move(onClose))
    , m_title(new QLabel(QStringLiteral("Report a Problem"), this))
    , m_closeButton(new CloseButton(CloseButton::Look::filledCircle, titleSize, this))
    , m_editor(new NoScrollTextEditor(this))
    , m_placeholder(new QLabel(placeholderText, m_editor))
    , m_sentLine(new QLabel(sentText, this))
    , m_failedLine(new QLabel(failedText, this))
    , m_sendButton(new CapsuleButton(this))
    , m_closeTimer(new QTimer(this))
{
    m_title->setObjectName(QStringLiteral("title"));
    m_closeButton->setObjectName(QStringLiteral("close"));
    m_editor->setObjectName(QStringLiteral("editor"));
    m_placeholder->setObjectName(QStringLiteral("placeholder"));
    m_sentLine->setObjectName(QStringLiteral("sentLine"));
    m_failedLine->setObjectName(QStringLiteral("failedLine"));
    m_sendButton->setObjectName(QStringLiteral("send"));

    m_title->setFont(AppTheme::font(font(), titleSize, QFont::Bold));

    m_editor->setHorizontalInset(0);
    m_editor->setRightToLeft(false);
    m_editor->setFont(AppTheme::font(font(), editorTextSize, QFont::Normal));
    m_editor->setAccessibleName(placeholderText);
    m_editor->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setFocusProxy(m_editor);

    m_placeholder->setFont(m_editor->font());
    m_placeholder->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_placeholder->move(placeholderOffset);
    m_placeholder->adjustSize();

    m_sentLine->setFont(AppTheme::font(font(), statusTextSize, QFont::Medium));
    m_sentLine->hide();
    m_failedLine->setFont(m_sentLine->font());
    m_failedLine->hide();

    auto *header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    header->addWidget(m_title, 0, Qt::AlignVCenter);
    header->addStretch(1);
    header->addWidget(m_closeButton, 0, Qt::AlignVCenter);

    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addStretch(1);
    buttons->addWidget(m_sendButton);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(spacing);
    column->addLayout(header);
    column->addWidget(m_editor, 1);
    column->addWidget(m_sentLine);
    column->addWidget(m_failedLine);
    column->addLayout(buttons);

    m_closeTimer->setSingleShot(true);
    connect(m_closeTimer, &QTimer::timeout, this, [this] {
        if (m_onClose) {
            m_onClose();
        }
    });
    // Queued: a host that deletes the panel in onClose must not pull the button from under
    // its own click.
    connect(m_closeButton, &QAbstractButton::clicked, this, &ReportProblemView::closePanel,
            Qt::QueuedConnection);
    connect(m_sendButton, &QAbstractButton::clicked, this, &ReportProblemView::send);
    connect(m_editor, &NoScrollTextEditor::textEdited, this, [this](const QString &text) {
        m_problemText = text;
        updateState();
    });

    if (!m_send) {
        m_sendButton->setToolTip(notConfiguredText);
    }
    applyColors();
    updateState();
}

ReportProblemView::~ReportProblemView() = default;

ReportProblemView::Sender ReportProblemView::deploymentSender(TelegramReporter &reporter)
{
    const QString chatId = Deployment::reportChatId();
    if (chatId.isEmpty()) {
        return {};
    }
    return telegramSender(reporter, chatId, Deployment::reportThreadId());
}

ReportProblemView::Sender ReportProblemView::telegramSender(TelegramReporter &reporter,
                                                            QString chatId,
                                                            std::optional<qint64> threadId)
{
    return [reporter = QPointer<TelegramReporter>(&reporter), chatId = std::move(chatId),
            threadId](QString report) {
        return sendThroughTelegram(reporter, chatId, threadId, std::move(report));
    };
}

bool ReportProblemView::canSend() const
{
    // Once sent, the panel only waits to close: a second click must not send the report again.
    return m_send && !m_sending && !m_sent && !m_problemText.trimmed().isEmpty();
}

void ReportProblemView::send()
{
    if (!canSend()) {
        return;
    }
    m_sending = true;
    updateState();
    // Exactly as typed: only the enabling test trims.
    const QString report = ProblemReport::text(m_problemText, ProblemReport::systemLine(),
                                               Deployment::version(), Deployment::buildNumber());
    deliver(m_send, report);
}

QCoro::Task<> ReportProblemView::deliver(Sender send, QString report)
{
    // `send` lives in this frame: whatever it captured outlasts the panel if need be.
    const QPointer<ReportProblemView> self(this);
    bool delivered = false;
    try {
        co_await send(std::move(report));
        delivered = true;
    } catch (...) {
        // The button comes back, the text stays for another try, and a line says so.
    }
    if (!self) {
        co_return;
    }
    m_sending = false;
    m_failed = !delivered;
    if (delivered) {
        m_sent = true;
        m_closeTimer->start(m_closeDelay);
    }
    updateState();
}

void ReportProblemView::closePanel()
{
    if (m_onClose) {
        m_onClose();
    }
}

void ReportProblemView::updateState()
{
    m_placeholder->setVisible(m_problemText.isEmpty());
    m_sentLine->setVisible(m_sent);
    m_failedLine->setVisible(m_failed && !m_sending);
    m_sendButton->setText(m_sending ? QStringLiteral("Sending...") : QStringLiteral("Send"));
    m_sendButton->setEnabled(canSend());
}

void ReportProblemView::applyColors()
{
    const QScopedValueRollback guard(m_applyingColors, true);
    const AppTheme::Colors &colors = AppTheme::colors();
    AppTheme::setTextColor(m_title, colors.label);
    QColor placeholder = colors.placeholder;
    placeholder.setAlphaF(placeholder.alphaF() * 0.6f);
    AppTheme::setTextColor(m_placeholder, placeholder);
    AppTheme::setTextColor(m_sentLine, AppTheme::colors().success);
    AppTheme::setTextColor(m_failedLine, AppTheme::colors().alert);
}

void ReportProblemView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (AppTheme::isSchemeChange(event) && !m_applyingColors) {
        applyColors();
    }
}
