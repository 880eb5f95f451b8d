#include "benchtext.h"

#include <iterator>

namespace {

const char *const sentences[] = {
    "The quick brown fox jumps over the lazy dog while the farmer watches from the porch. ",
    "Der Zug nach Berlin fährt alle zwanzig Minuten, wir haben also noch Zeit für einen Kaffee. ",
    "Мы договорились встретиться у входа в библиотеку сразу после обеда в пятницу. ",
    "Nous irons voir mes grands-parents qui habitent dans un petit village au bord de la mer. ",
    "Wondering whether the rain will come before the harvest is finished, she closed the gate. ",
};

} // namespace

QString textOfLength(int length)
{
    QString text;
    for (int i = 0; text.size() < length; ++i) {
        text += QString::fromUtf8(sentences[i % std::size(sentences)]);
    }
    text.truncate(length);
    return text;
}
