#include "qtselectionreader.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

bool QtSelectionReader::needsFocus() const
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QCoro::Task<SelectionReader::Content> QtSelectionReader::read(Source source)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    const QClipboard::Mode mode =
        source == Source::selection ? QClipboard::Selection : QClipboard::Clipboard;
    if (mode == QClipboard::Selection && !clipboard->supportsSelection()) {
        co_return Content{};
    }
    const QMimeData *data = clipboard->mimeData(mode);
    if (!data || !data->hasText()) {
        co_return Content{};
    }
    const QString text = data->text();
    co_return text.isEmpty() ? Content{} : Content{Outcome::text, text};
}
