// libFuzzer: DeepSeek's reply parser on arbitrary bodies. It may refuse a body, never crash.
#include "deepseekerror.h"
#include "deepseekservice.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    try {
        DeepSeekService::parseReply(
            QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    } catch (const DeepSeekError &) {
    }
    return 0;
}
