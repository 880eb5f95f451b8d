#include "deepseekerror.h"

QString DeepSeekError::description() const
{
    switch (m_code) {
    case networkError:
        return QStringLiteral("Network request to DeepSeek failed");
    case invalidResponse:
        return QStringLiteral("Invalid response from DeepSeek");
    case emptyResult:
        return QStringLiteral("DeepSeek returned empty translation");
    case invalidApiKey:
        return QStringLiteral(
            "The DeepSeek API key is too long or contains line breaks, control or non-ASCII "
            "characters");
    case missingApiKey:
        return QStringLiteral("Add your DeepSeek API key in Settings.");
    }
    Q_UNREACHABLE();
}
