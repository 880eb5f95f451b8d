#pragma once

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>

// Reads the text the user has selected (the primary selection) or copied (the clipboard) in
// whichever program holds it.
//
// A read never blocks the calling thread for long and always ends: an owner that does not answer
// within the reader's bound (a frozen program) counts as `unanswered`. Content that is not text
// (an image), a selection nobody holds and an empty one are all `noText`.
class SelectionReader : public QObject
{
    Q_OBJECT

public:
    enum class Source { selection, clipboard };
    enum class Outcome { text, noText, unanswered };
    struct Content
    {
        Outcome outcome = Outcome::noText;
        QString text{};

        bool operator==(const Content &) const = default;
    };

    using QObject::QObject;

    // Whether a window of ours must have the keyboard for a read to see what is current:
    // Wayland tells a program of the selection only while it has the keyboard.
    virtual bool needsFocus() const = 0;
    virtual QCoro::Task<Content> read(Source source) = 0;
};
