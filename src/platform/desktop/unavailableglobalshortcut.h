#pragma once

#include "globalshortcut.h"

// Stands in where no desktop could take a global shortcut (no display at all, or a platform we
// know no way to one on): every combination is refused with the reason given.
class UnavailableGlobalShortcut : public GlobalShortcut
{
    Q_OBJECT

public:
    explicit UnavailableGlobalShortcut(const QString &reason, QObject *parent = nullptr);

    void setShortcut(QKeyCombination combination) override;
    QKeyCombination shortcut() const override;
    bool isRegistered() const override;

private:
    QString m_reason;
    QKeyCombination m_combination = QKeyCombination::fromCombined(0);
};
