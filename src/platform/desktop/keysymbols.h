#pragma once

#include <QString>

// X keysyms for Qt keys: the codes an X keyboard map holds and the names xkbcommon, and so the
// desktop portal's trigger notation, gives them ("space", "a", "F1", "Return").
class KeySymbols
{
public:
    // The keysym of the key as typed without Shift (Qt::Key_A is "a"), or 0 when X has none.
    static quint32 fromQtKey(int key);
    // Empty for keysyms outside the keys fromQtKey() knows.
    static QString name(quint32 keysym);
};
