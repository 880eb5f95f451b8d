#include "speechrecognitionerror.h"

QString SpeechRecognitionError::description() const
{
    switch (m_code) {
    case modelMissing:
        return QStringLiteral("The speech model is not installed. Please download it first.");
    case modelDamaged:
        return QStringLiteral("The speech model file is damaged. Please download it again.");
    case modelUnusable:
        return QStringLiteral("The speech model could not be loaded.");
    case failed:
        return QStringLiteral("Speech recognition failed.");
    }
    Q_UNREACHABLE();
}
