#pragma once

#include <QByteArrayView>
#include <QString>

// What the photo server reads of a request: the method and path of its
// request line (the bytes up to the first line break, split at blanks). A
// request longer than the server accepts, or not UTF-8, has neither, and is
// answered as a miss. Pure: bytes in, a value out.
struct PhotoRequest {
    QString method;
    QString path;

    static PhotoRequest parse(QByteArrayView request, qsizetype maxBytes);

    bool operator==(const PhotoRequest&) const = default;
};
