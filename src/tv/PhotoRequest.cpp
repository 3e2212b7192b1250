#include "PhotoRequest.h"

#include <QStringDecoder>
#include <QStringList>

using namespace Qt::StringLiterals;

PhotoRequest PhotoRequest::parse(QByteArrayView request, qsizetype maxBytes) {
    QString line;
    if (request.size() <= maxBytes) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        line = utf8.decode(request);
        if (utf8.hasError())
            line.clear();
    }
    const qsizetype end = line.indexOf(u"\r\n"_s);
    if (end >= 0)
        line.truncate(end);
    const QStringList pieces = line.split(u' ', Qt::SkipEmptyParts);
    return PhotoRequest{pieces.value(0), pieces.value(1)};
}
