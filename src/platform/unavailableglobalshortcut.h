#pragma once

#include "globalshortcut.h"

// Stands in where no desktop could take a global shortcut (no display at all, or a platform we
// know no way to one on): every combination is refused with the reason given.
class UnavailableGlobalShortcut : public GlobalShortcut
{
    Q_OBJECT

public:
    explicit UnavailableGlobalShortcut(const QString &reason, QObject *parent = nullptr);

    void setShortcut(const QKeySequence &sequence) override;
    QKeySequence shortcut() const override;
    bool isRegistered() const override;

private:
    QString m_reason;
    QKeySequence m_sequence;
};
