#include "fakeglobalshortcut.h"

void FakeGlobalShortcut::setShortcut(QKeyCombination combination)
{
    const QKeySequence sequence =
        combination.toCombined() != 0 ? QKeySequence(combination) : QKeySequence();
    calls.append(sequence);
    m_sequence = sequence;
    m_registered = false;
    if (sequence.isEmpty()) {
        return;
    }
    if (taken.contains(sequence)) {
        emit failed(QStringLiteral("%1 is grabbed by another client").arg(sequence.toString()));
        return;
    }
    m_registered = true;
    emit registered();
}
