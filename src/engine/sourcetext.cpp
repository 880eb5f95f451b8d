#include "sourcetext.h"

#include <QTextBoundaryFinder>

bool SourceText::isTooLong(const QString &text)
{
    if (text.size() > maxUnits) {
        return true;
    }
    // Every character takes at least one UTF-16 unit, so a short text needs no counting; this
    // keeps the keystroke path cheap.
    return text.size() > maxLength && characterCount(text) > maxLength;
}

int SourceText::characterCount(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() >= 0) {
        ++count;
    }
    return count;
}
