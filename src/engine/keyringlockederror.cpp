#include "keyringlockederror.h"

QString KeyringLockedError::description() const
{
    return QStringLiteral("The keyring is locked: unlock it and try again.");
}
