#pragma once

#include "globalshortcut.h"

#include <QKeySequence>

// A global shortcut that takes every combination but those in `taken`, and answers at once.
class FakeGlobalShortcut : public GlobalShortcut
{
    Q_OBJECT

public:
    void setShortcut(QKeyCombination combination) override
    {
        m_sequence = combination.toCombined() != 0 ? QKeySequence(combination) : QKeySequence();
        calls.append(m_sequence);
        m_registered = !m_sequence.isEmpty() && !taken.contains(m_sequence);
        if (m_registered) {
            emit registered();
        } else if (!m_sequence.isEmpty()) {
            emit failed(m_sequence.toString() + QStringLiteral(" is grabbed by another client"));
        }
    }
    QKeyCombination shortcut() const override { return m_sequence[0]; }
    bool isRegistered() const override { return m_registered; }

    QList<QKeySequence> taken;
    QList<QKeySequence> calls; // the empty one too

private:
    QKeySequence m_sequence;
    bool m_registered = false;
};
