#pragma once

#include <QByteArrayView>
#include <QString>

// The text of udev's encoded properties (ID_VENDOR_ENC, ID_MODEL_ENC), where
// blanks and other unsafe bytes are written as \xNN. Pure.
class UdevText {
public:
    // The device's own text: each \xNN escape becomes its byte, and the bytes
    // are read as UTF-8. Anything that is not a complete escape is kept as written.
    static QString decode(QByteArrayView encoded);
};
