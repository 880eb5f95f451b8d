#pragma once

#include "glyphbutton.h"

// The two opposite arrows between the language pills that exchange source and target. It sits
// on the pills' bar with no disc of its own; only the arrows brighten under the pointer.
class SwapButton : public GlyphButton
{
    Q_OBJECT

public:
    static constexpr int frameSize = 32;
    // A little larger than the other glyphs, so that the arrows hold their own.
    static constexpr int glyphSize = 13;

    explicit SwapButton(QWidget *parent = nullptr);
};
