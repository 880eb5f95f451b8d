#include "unavailableglobalshortcut.h"

UnavailableGlobalShortcut::UnavailableGlobalShortcut(const QString &reason, QObject *parent)
    : GlobalShortcut(parent)
    , m_reason(reason)
{}

void UnavailableGlobalShortcut::setShortcut(const QKeySequence &sequence)
{
    m_sequence = sequence;
    if (!sequence.isEmpty()) {
        emit failed(tr("%1 cannot be registered: %2")
                        .arg(sequence.toString(QKeySequence::NativeText), m_reason));
    }
}

QKeySequence UnavailableGlobalShortcut::shortcut() const
{
    return m_sequence;
}

bool UnavailableGlobalShortcut::isRegistered() const
{
    return false;
}
