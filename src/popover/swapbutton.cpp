#include "swapbutton.h"

SwapButton::SwapButton(QWidget *parent)
    : GlyphButton({QStringLiteral("swap"), frameSize, glyphSize, false}, tr("Swap languages"),
                  parent)
{}
