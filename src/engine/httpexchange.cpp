#include "httpexchange.h"

#include <QCoro/QCoroNetworkReply>
#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>

namespace {

// Read in steps of this size: Qt stops taking data from the connection while its buffer is full.
constexpr qint64 readStep = 64 * 1024;

// The request body as a device that cannot be rewound: Qt then reports a failed resend instead
// of posting the request a second time.
class OneShotBody : public QIODevice
{
public:
    explicit OneShotBody(QByteArray data)
        : m_data(std::move(data))
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }
    bool reset() override { return false; }
    qint64 bytesAvailable() const override
    {
        return m_data.size() - m_position + QIODevice::bytesAvailable();
    }
    bool atEnd() const override { return m_position >= m_data.size(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = std::min(maxSize, m_data.size() - m_position);
        std::memcpy(data, m_data.constData() + m_position, size_t(n));
        m_position += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_position = 0;
};

// Qt's names for error statuses, which are no failure of the transport.
bool namesAStatus(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ContentAccessDenied:
    case QNetworkReply::ContentOperationNotPermittedError:
    case QNetworkReply::ContentNotFoundError:
    case QNetworkReply::AuthenticationRequiredError:
    case QNetworkReply::ContentConflictError:
    case QNetworkReply::ContentGoneError:
    case QNetworkReply::UnknownContentError:
    case QNetworkReply::ProtocolInvalidOperationError:
    case QNetworkReply::InternalServerError:
    case QNetworkReply::OperationNotImplementedError:
    case QNetworkReply::ServiceUnavailableError:
    case QNetworkReply::UnknownServerError:
        return true;
    default:
        return false;
    }
}

TransportError transportError(const QNetworkReply &reply)
{
    switch (reply.error()) {
    case QNetworkReply::OperationCanceledError:
        // Only the transfer time-out cancels a reply that we did not abort ourselves; Qt
        // calls that "Operation canceled", which would tell the user nothing.
        return TransportError::timedOut();
    case QNetworkReply::ContentReSendError:
        // The connection went before the whole reply came, and the request was not sent again.
        return TransportError(QNetworkReply::RemoteHostClosedError,
                              QCoreApplication::translate("QNetworkReply", "Connection closed"));
    default:
        return TransportError(reply.error(), reply.errorString());
    }
}

} // namespace

HttpExchange::HttpExchange(QObject *owner)
    : m_owner(owner)
{}

QCoro::Task<HttpExchange::Response> HttpExchange::post(QNetworkRequest request, QByteArray body,
                                                       Limits limits)
{
    if (!m_network) {
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        m_network = new QNetworkAccessManager(m_owner);
    }
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
    request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
    request.setTransferTimeout(int(limits.idle.count()));

    auto *upload = new OneShotBody(std::move(body));
    // The reply belongs to the access manager, which may go while we wait.
    const QPointer<QNetworkReply> reply = m_network->post(request, upload);
    upload->setParent(reply);
    const auto release = qScopeGuard([reply] {
        if (reply) {
            reply->deleteLater();
        }
    });
    reply->setReadBufferSize(readStep);

    Response response;
    bool timedOut = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply.data(), [&timedOut, &reply] {
        timedOut = true;
        reply->abort();
    });
    deadline.start(limits.deadline);
    QObject::connect(reply.data(), &QIODevice::readyRead, reply.data(),
                     [&response, &reply, maxBody = limits.maxBody] {
                         if (response.oversized) {
                             return;
                         }
                         const QByteArray chunk = reply->read(maxBody + 1 - response.body.size());
                         response.body += chunk;
                         if (response.body.size() > maxBody) {
                             response.body.truncate(maxBody);
                             response.oversized = true;
                             reply->abort();
                         }
                     });

    co_await reply.data();
    deadline.stop();
    if (!reply) {
        throw TransportError::canceled();
    }
    if (!response.oversized) {
        response.body += reply->read(limits.maxBody + 1 - response.body.size());
        if (response.body.size() > limits.maxBody) {
            response.body.truncate(limits.maxBody);
            response.oversized = true;
        }
    }

    // Qt flags error statuses as reply errors too; a status means a reply came.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    std::optional<TransportError> failure;
    if (timedOut) {
        failure = TransportError::timedOut();
    } else if (reply->error() != QNetworkReply::NoError && !response.oversized &&
               !(status.isValid() && namesAStatus(reply->error()))) {
        failure = transportError(*reply);
    }
    if (!status.isValid()) {
        if (failure) {
            throw *failure;
        }
        co_return response;
    }
    response.status = status.toInt();
    response.failure = failure;
    co_return response;
}
