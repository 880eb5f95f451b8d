#include "selectedtext.h"

QCoro::Task<std::optional<QString>> SelectedText::fetch(SelectionReader &reader)
{
    for (const SelectionReader::Source source :
         {SelectionReader::Source::selection, SelectionReader::Source::clipboard}) {
        const SelectionReader::Content content = co_await reader.read(source);
        if (content.outcome == SelectionReader::Outcome::text &&
            !content.text.trimmed().isEmpty()) {
            co_return content.text;
        }
    }
    co_return std::nullopt;
}
