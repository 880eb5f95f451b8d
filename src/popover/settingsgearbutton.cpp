#include "settingsgearbutton.h"

SettingsGearButton::SettingsGearButton(QWidget *parent)
    : GlyphButton({QStringLiteral("settings"), frameSize, glyphSize, true}, tr("Settings"), parent)
{}
