#pragma once

#include "loginitem.h"

#include <QStringList>

// A login item in memory that records "enable" and "disable" in `calls`.
class FakeLoginItem : public LoginItem
{
public:
    bool isEnabled() const override { return enabled; }
    bool enable() override { return set(true); }
    bool disable() override { return set(false); }

    bool enabled = false;
    QStringList calls;

private:
    bool set(bool enable)
    {
        calls.append(enable ? QStringLiteral("enable") : QStringLiteral("disable"));
        enabled = enable;
        return true;
    }
};
