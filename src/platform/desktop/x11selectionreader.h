#pragma once

#include "selectionreader.h"

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QList>

#include <chrono>
#include <cstdint>

struct xcb_connection_t;

// The primary selection or the clipboard of X11, read on Qt's own connection without ever
// waiting on the GUI thread for the program that holds it.
//
// A read asks the owner for UTF-8 text, and for Latin-1 text when it has none, and waits for each
// answer, and for each piece of a long text sent in increments, at most `bound`; past it the
// read is `unanswered`. A selection nobody holds is `noText` at once, as is any read off the xcb
// platform. A text over 1 MiB is not read to its end: the answer is its first MiB and one
// character more. Reads may overlap; destroying the reader ends the pending ones as
// `unanswered`.
class X11SelectionReader : public SelectionReader, private QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit X11SelectionReader(QObject *parent = nullptr,
                                std::chrono::milliseconds bound = std::chrono::milliseconds(300));
    ~X11SelectionReader() override;

    bool needsFocus() const override;
    QCoro::Task<Content> read(Source source) override;

private:
    struct Conversion;
    struct Property;

    void internAtoms();
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;
    std::uint32_t takeWindow();
    // Lets the window serve another read, or destroys it when an owner may still write to it.
    void release(std::uint32_t window, bool reusable);
    // Keeps the window of an unanswered conversion until its late answer comes.
    void abandon(std::uint32_t window);
    // Reads our property off the window and deletes it; stops past `limit` bytes.
    Property takeProperty(std::uint32_t window, qsizetype limit);

    xcb_connection_t *m_connection = nullptr;
    std::chrono::milliseconds m_bound;
    std::uint32_t m_root = 0;
    // Interned at the first read.
    std::uint32_t m_clipboard = 0;
    std::uint32_t m_utf8String = 0;
    std::uint32_t m_incr = 0;
    std::uint32_t m_property = 0; // where owners put their answers, on each of our windows
    // Our windows: free, each serving one conversion, or left to an owner that did not answer.
    QList<std::uint32_t> m_idle;
    QHash<std::uint32_t, Conversion *> m_busy;
    QList<std::uint32_t> m_abandoned; // oldest first
};
