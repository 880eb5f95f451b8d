#pragma once

#include "quenzalerror.h"

// A credential is in the keyring, but the keyring is locked and was not unlocked, and there is
// no other value to use in its place.
class KeyringLockedError : public QuenzalError
{
public:
    QString description() const override;
};
