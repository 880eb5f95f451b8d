#pragma once

#include "selectionreader.h"

// The selection and the clipboard as Qt's clipboard knows them: on Wayland, where the compositor
// offers them only to the program with the keyboard, and on platforms without an X server.
// Where the platform has no primary selection, a read of it finds no text. Qt waits for an
// owner that does not answer up to its own bound (a second on Wayland), and holds the thread
// meanwhile.
class QtSelectionReader : public SelectionReader
{
    Q_OBJECT

public:
    using SelectionReader::SelectionReader;

    bool needsFocus() const override;
    QCoro::Task<Content> read(Source source) override;
};
