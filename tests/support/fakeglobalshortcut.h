#pragma once

#include "globalshortcut.h"

#include <QKeySequence>

#include <optional>

// A global shortcut that answers at once: it takes every combination but those in `taken`, or
// none at all when `refusal` says of what kind every failure is.
class FakeGlobalShortcut : public GlobalShortcut
{
    Q_OBJECT

public:
    void setShortcut(QKeyCombination combination) override
    {
        m_sequence = combination.toCombined() != 0 ? QKeySequence(combination) : QKeySequence();
        calls.append(m_sequence);
        if (m_sequence.isEmpty()) {
            m_registered = false;
        } else if (refusal) {
            m_registered = false;
            emit failed(m_sequence.toString() + QStringLiteral(" is refused"), *refusal);
        } else if (taken.contains(m_sequence)) {
            m_registered = false;
            emit failed(m_sequence.toString() + QStringLiteral(" is grabbed by another client"),
                        Failure::taken);
        } else {
            m_registered = true;
            emit registered();
        }
    }
    QKeyCombination shortcut() const override { return m_sequence[0]; }
    bool isRegistered() const override { return m_registered; }

    QList<QKeySequence> taken;
    std::optional<Failure> refusal;
    QList<QKeySequence> calls; // the empty one too

private:
    QKeySequence m_sequence;
    bool m_registered = false;
};
