// libFuzzer: the cache file decoder on arbitrary files. It may refuse a file, never crash.
#include "translationcache.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TranslationCache::decode(
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
