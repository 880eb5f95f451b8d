#pragma once

#include "selectionreader.h"

#include <QGuiApplication>
#include <QHash>
#include <QList>

// A selection and a clipboard that hold what the test put there; reads are recorded. One that
// needs focus, as on Wayland, finds nothing while no window of ours has the keyboard.
class FakeSelectionReader : public SelectionReader
{
    Q_OBJECT

public:
    bool needsFocus() const override { return focus; }
    QCoro::Task<Content> read(Source source) override
    {
        reads.append(source);
        if (focus && !QGuiApplication::focusWindow()) {
            co_return Content{};
        }
        co_return contents.value(source);
    }

    QHash<Source, Content> contents;
    QList<Source> reads;
    bool focus = false;
};
