// libFuzzer target: call and reply decoding (see CMakeLists.txt).

#include "fuzzentries.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    protocolfuzz::calls(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
