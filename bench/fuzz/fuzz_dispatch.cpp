// libFuzzer target: the server's method dispatch on a demo database (see CMakeLists.txt).

#include "serverfuzzentries.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    serverfuzz::dispatch(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
