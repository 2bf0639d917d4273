// libFuzzer target: the server's first frame (the hello) (see CMakeLists.txt).

#include "serverfuzzentries.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    serverfuzz::hello(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
