#include "fakeloginitem.h"

bool FakeLoginItem::enable()
{
    if (onCall) {
        onCall();
    }
    calls.append(QStringLiteral("enable"));
    if (failing) {
        return false;
    }
    enabled = true;
    return true;
}

bool FakeLoginItem::disable()
{
    if (onCall) {
        onCall();
    }
    calls.append(QStringLiteral("disable"));
    if (failing) {
        return false;
    }
    enabled = false;
    return true;
}
