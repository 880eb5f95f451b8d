#include "keysymbols.h"

#include <QChar>

#include <array>
#include <utility>

namespace {

struct Symbol
{
    int key;
    quint32 keysym;
    const char *name;
};

// Keys outside Latin-1, where Qt's codes and the keysyms part ways.
constexpr std::array specialKeys{
    Symbol{Qt::Key_Escape, 0xff1b, "Escape"},
    Symbol{Qt::Key_Tab, 0xff09, "Tab"},
    Symbol{Qt::Key_Backtab, 0xfe20, "ISO_Left_Tab"},
    Symbol{Qt::Key_Backspace, 0xff08, "BackSpace"},
    Symbol{Qt::Key_Return, 0xff0d, "Return"},
    Symbol{Qt::Key_Enter, 0xff8d, "KP_Enter"},
    Symbol{Qt::Key_Insert, 0xff63, "Insert"},
    Symbol{Qt::Key_Delete, 0xffff, "Delete"},
    Symbol{Qt::Key_Pause, 0xff13, "Pause"},
    Symbol{Qt::Key_Print, 0xff61, "Print"},
    Symbol{Qt::Key_SysReq, 0xff15, "Sys_Req"},
    Symbol{Qt::Key_Home, 0xff50, "Home"},
    Symbol{Qt::Key_End, 0xff57, "End"},
    Symbol{Qt::Key_Left, 0xff51, "Left"},
    Symbol{Qt::Key_Up, 0xff52, "Up"},
    Symbol{Qt::Key_Right, 0xff53, "Right"},
    Symbol{Qt::Key_Down, 0xff54, "Down"},
    Symbol{Qt::Key_PageUp, 0xff55, "Prior"},
    Symbol{Qt::Key_PageDown, 0xff56, "Next"},
    Symbol{Qt::Key_Menu, 0xff67, "Menu"},
};

// ASCII punctuation; digits and letters are named after themselves.
constexpr std::array<std::pair<char, const char *>, 33> punctuation{{
    {' ', "space"},      {'!', "exclam"},       {'"', "quotedbl"},    {'#', "numbersign"},
    {'$', "dollar"},     {'%', "percent"},      {'&', "ampersand"},   {'\'', "apostrophe"},
    {'(', "parenleft"},  {')', "parenright"},   {'*', "asterisk"},    {'+', "plus"},
    {',', "comma"},      {'-', "minus"},        {'.', "period"},      {'/', "slash"},
    {':', "colon"},      {';', "semicolon"},    {'<', "less"},        {'=', "equal"},
    {'>', "greater"},    {'?', "question"},     {'@', "at"},          {'[', "bracketleft"},
    {'\\', "backslash"}, {']', "bracketright"}, {'^', "asciicircum"}, {'_', "underscore"},
    {'`', "grave"},      {'{', "braceleft"},    {'|', "bar"},         {'}', "braceright"},
    {'~', "asciitilde"},
}};

constexpr quint32 keysymF1 = 0xffbe;
constexpr int functionKeys = 35;

} // namespace

quint32 KeySymbols::fromQtKey(int key)
{
    // Latin-1 keysyms are the characters themselves; Qt names letters by their capitals.
    if ((key >= 0x20 && key <= 0x7e) || (key >= 0xa0 && key <= 0xff)) {
        return QChar(key).toLower().unicode();
    }
    if (key >= Qt::Key_F1 && key < Qt::Key_F1 + functionKeys) {
        return keysymF1 + (key - Qt::Key_F1);
    }
    for (const Symbol &symbol : specialKeys) {
        if (symbol.key == key) {
            return symbol.keysym;
        }
    }
    return 0;
}

QString KeySymbols::name(quint32 keysym)
{
    if ((keysym >= '0' && keysym <= '9') || (keysym >= 'a' && keysym <= 'z')) {
        return QString(QChar(keysym));
    }
    for (const auto &[character, name] : punctuation) {
        if (quint32(character) == keysym) {
            return QString::fromLatin1(name);
        }
    }
    if (keysym >= keysymF1 && keysym < keysymF1 + functionKeys) {
        return QStringLiteral("F%1").arg(keysym - keysymF1 + 1);
    }
    for (const Symbol &symbol : specialKeys) {
        if (symbol.keysym == keysym) {
            return QString::fromLatin1(symbol.name);
        }
    }
    return {};
}
