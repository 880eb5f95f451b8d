#pragma once

#include <QString>

// Varied text in four languages and two scripts, `length` UTF-16 units long: harder for the
// recogniser than one sentence repeated.
QString textOfLength(int length);
