#pragma once

#include "quenzalerror.h"

#include <QCoreApplication>
#include <QNetworkReply>

// A failure of the HTTP transport itself (refused connection, time-out, TLS, cancellation).
// The description is Qt's own error text, unchanged.
class TransportError : public QuenzalError
{
public:
    TransportError(QNetworkReply::NetworkError code, QString text)
        : m_code(code)
        , m_text(std::move(text))
    {}

    // The two the clients raise themselves, in Qt's own words.
    static TransportError canceled()
    {
        return TransportError(QNetworkReply::OperationCanceledError,
                              QCoreApplication::translate("QNetworkReply", "Operation canceled"));
    }
    static TransportError timedOut()
    {
        return TransportError(
            QNetworkReply::TimeoutError,
            QCoreApplication::translate("QNetworkReply", "Network operation timed out"));
    }

    QNetworkReply::NetworkError code() const { return m_code; }
    QString description() const override { return m_text; }

private:
    QNetworkReply::NetworkError m_code;
    QString m_text;
};
