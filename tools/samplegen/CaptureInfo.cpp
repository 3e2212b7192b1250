#include "CaptureInfo.h"

using namespace Qt::StringLiterals;

QString CaptureInfo::exifDateTime() const {
    return captured.toString(u"yyyy:MM:dd HH:mm:ss"_s);
}
