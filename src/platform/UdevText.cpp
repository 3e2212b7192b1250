#include "UdevText.h"

#include <QByteArray>

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

QString UdevText::decode(QByteArrayView encoded) {
    QByteArray bytes;
    bytes.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '\\' && i + 3 < encoded.size() && encoded[i + 1] == 'x') {
            const int high = hexValue(encoded[i + 2]);
            const int low = hexValue(encoded[i + 3]);
            if (high >= 0 && low >= 0) {
                bytes += char(high * 16 + low);
                i += 3;
                continue;
            }
        }
        bytes += encoded[i];
    }
    return QString::fromUtf8(bytes);
}
