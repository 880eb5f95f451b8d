#include "modeldownloaderror.h"

QString ModelDownloadError::description() const
{
    switch (m_code) {
    case unknownModel:
        return QStringLiteral("There is no speech model called \"%1\".").arg(m_detail);
    case alreadyRunning:
        return QStringLiteral("This speech model is already being downloaded.");
    case serverStatus:
        return QStringLiteral("The model server refused the download (HTTP status %1). "
                              "Try again later.")
            .arg(m_detail);
    case unreachable:
        return QStringLiteral("The model server could not be reached: %1.").arg(m_detail);
    case connectionLost:
        return QStringLiteral("The connection to the model server was lost (%1). Download "
                              "again to continue where it stopped.")
            .arg(m_detail);
    case stalled:
        return QStringLiteral("The model download stalled: no data arrived for a while. "
                              "Download again to continue where it stopped.");
    case tooLarge:
        return QStringLiteral("The model server sent far more data than the model's size, so "
                              "the download was stopped and discarded.");
    case checksumMismatch:
        return QStringLiteral("The downloaded model was damaged (its checksum did not match) "
                              "and has been deleted. Download it again.");
    case writeFailed:
        return QStringLiteral("The model could not be saved: %1. Free some disk space, then "
                              "download again to continue where it stopped.")
            .arg(m_detail);
    case canceled:
        return QStringLiteral("The model download was canceled.");
    }
    Q_UNREACHABLE();
}
