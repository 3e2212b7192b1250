// The release feed's body, as the updater decodes it.

#include "update/Release.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto release = Release::decode(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (release && (release->url.isRelative() || !release->url.isValid()))
        std::abort();
    return 0;
}
