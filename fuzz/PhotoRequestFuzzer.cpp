// What the photo server reads of a client's request.

#include "tv/PhotoRequest.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView request(reinterpret_cast<const char*>(data), qsizetype(size));
    const PhotoRequest parsed = PhotoRequest::parse(request, 8192);
    if (parsed.method.contains(u' ') || parsed.path.contains(u' ') || parsed.path.contains(u"\r\n"))
        std::abort();
    return 0;
}
