// Cast frame bodies as a receiver might send them. A body that decodes must
// survive being framed again: the sender and a receiver read it alike.

#include "tv/CastMessage.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView body(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<CastMessage> message = CastMessage::decode(body);
    if (!message)
        return 0;
    const QByteArray frame = message->framed();
    const std::optional<CastMessage> again = CastMessage::decode(QByteArrayView(frame).sliced(4));
    if (!again || *again != *message)
        std::abort();
    return 0;
}
