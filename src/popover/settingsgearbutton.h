#pragma once

#include "glyphbutton.h"

// The gear that opens the settings, over a faint disc under the pointer. It has no active
// look: opening the settings is not something that goes on.
class SettingsGearButton : public GlyphButton
{
    Q_OBJECT

public:
    static constexpr int frameSize = 28;
    static constexpr int glyphSize = 14;

    explicit SettingsGearButton(QWidget *parent = nullptr);
};
