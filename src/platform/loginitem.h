#pragma once

#include <QString>

// The program's own entry among the programs the desktop starts when the user logs in.
//
// Every call works on the entry as the desktop sees it at that moment, nothing is cached, so
// an entry removed with another tool reads as disabled at the next look. Failures (a folder
// that cannot be written, an entry that cannot be removed) are reported only through the
// result; the entry is then as it was.
class LoginItem
{
public:
    virtual ~LoginItem() = default;

    virtual bool isEnabled() const = 0;
    // True when the entry is there afterwards.
    virtual bool enable() = 0;
    // True when no entry is left afterwards, also when there never was one.
    virtual bool disable() = 0;
};
