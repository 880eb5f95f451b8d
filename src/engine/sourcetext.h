#pragma once

#include <QString>

// The limit on the text one translation takes, counted in user-perceived characters, wherever
// the text comes from: the popover, the command line.
class SourceText
{
public:
    static constexpr int maxLength = 5000;
    // A text this long in UTF-16 units is too long whatever it says. No real text of 5000
    // characters comes near 16 units per character (the longest emoji sequences take 14), and
    // combining marks all join one character, so counting characters alone would let a paste of
    // any size through.
    static constexpr qsizetype maxUnits = 16 * maxLength;
    static inline const QString tooLongMessage =
        QStringLiteral("Text is too long. Maximum 5000 characters allowed.");

    static bool isTooLong(const QString &text);
    static int characterCount(const QString &text);
};
