#pragma once

#include "loginitem.h"

#include <QStringList>

#include <functional>

// A login item in memory. With `failing` set, enable() and disable() change nothing and fail.
class FakeLoginItem : public LoginItem
{
public:
    bool isEnabled() const override { return enabled; }
    bool enable() override { return set(true); }
    bool disable() override { return set(false); }

    bool enabled = false;
    bool failing = false;
    QStringList calls;            // "enable" and "disable", in order
    std::function<void()> onCall; // runs first in every enable() and disable()

private:
    bool set(bool enable)
    {
        if (onCall) {
            onCall();
        }
        calls.append(enable ? QStringLiteral("enable") : QStringLiteral("disable"));
        enabled = failing ? enabled : enable;
        return !failing;
    }
};
