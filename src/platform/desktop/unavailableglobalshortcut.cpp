#include "unavailableglobalshortcut.h"

#include <QKeySequence>

UnavailableGlobalShortcut::UnavailableGlobalShortcut(const QString &reason, QObject *parent)
    : GlobalShortcut(parent)
    , m_reason(reason)
{}

void UnavailableGlobalShortcut::setShortcut(QKeyCombination combination)
{
    m_combination = combination;
    if (combination.toCombined() != 0) {
        emit failed(
            tr("%1 cannot be registered: %2")
                .arg(QKeySequence(combination).toString(QKeySequence::NativeText), m_reason),
            Failure::unavailable);
    }
}

QKeyCombination UnavailableGlobalShortcut::shortcut() const
{
    return m_combination;
}

bool UnavailableGlobalShortcut::isRegistered() const
{
    return false;
}
