#pragma once

#include "selectionreader.h"

#include <QCoro/QCoroTask>
#include <QString>

#include <optional>

// The text to translate when the user asks for "what I have selected": the primary selection
// when it holds text that is not blank, else the clipboard under the same rule, else nothing.
// A selection whose owner does not answer counts as no selection.
class SelectedText
{
public:
    // `reader` must outlive the task.
    static QCoro::Task<std::optional<QString>> fetch(SelectionReader &reader);
};
