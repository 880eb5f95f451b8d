#pragma once

#include "quenzalerror.h"

// Why a speech model download ended without a verified model. The detail is what the
// description needs besides the code: an HTTP status, Qt's network error text, a file error.
class ModelDownloadError : public QuenzalError
{
public:
    enum Code {
        unknownModel,     // the catalogue has no model of that name
        alreadyRunning,   // that model is being downloaded already
        serverStatus,     // the server answered with an error status (detail: the status)
        unreachable,      // no reply at all (detail: Qt's text); nothing was lost
        connectionLost,   // the transfer broke off (detail: Qt's text); resumable
        stalled,          // no data came for too long; resumable
        tooLarge,         // far more data than the model's size; discarded
        checksumMismatch, // the whole file came but is not the model; deleted
        writeFailed,      // the disk took no more (detail: the file error); resumable
        canceled,         // the user stopped it; resumable
    };

    explicit ModelDownloadError(Code code, QString detail = {})
        : m_code(code)
        , m_detail(std::move(detail))
    {}

    Code code() const { return m_code; }
    QString description() const override;

private:
    Code m_code;
    QString m_detail;
};
