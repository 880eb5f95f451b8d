#include "translationerror.h"

QString TranslationError::description() const
{
    switch (m_code) {
    case apiError:
        return QStringLiteral("API error: ") + m_message;
    case invalidLanguage:
        return QStringLiteral("Invalid target language selected");
    case invalidURL:
        return QStringLiteral("Failed to build request URL");
    case networkError:
        return QStringLiteral("Network request failed");
    case emptyResult:
        return QStringLiteral("Received empty translation");
    }
    Q_UNREACHABLE();
}
