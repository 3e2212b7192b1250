#include "ExifTags.h"

#include <cmath>

namespace {

std::vector<std::pair<quint32, quint32>> degreesMinutesSeconds(double value) {
    const double magnitude = std::abs(value);
    const auto degrees = quint32(magnitude);
    const double minutesExact = (magnitude - degrees) * 60.0;
    const auto minutes = quint32(minutesExact);
    const auto hundredthsOfSeconds = quint32(std::lround((minutesExact - minutes) * 60.0 * 100.0));
    return {{degrees, 1}, {minutes, 1}, {hundredthsOfSeconds, 100}};
}

} // namespace

void ExifTags::addCameraTags(TiffBuilder::Ifd& ifd, const CaptureInfo& info) {
    ifd.ascii(0x010f, info.make.toUtf8());
    ifd.ascii(0x0110, info.model.toUtf8());
    ifd.shorts(0x0112, {quint16(info.orientation)});
    ifd.ascii(0x0131, QByteArrayLiteral("Ver.1.0"));
    ifd.ascii(0x0132, info.exifDateTime().toUtf8());
    ifd.subIfd(0x8769, exifIfd(info));
    if (info.gps)
        ifd.subIfd(0x8825, gpsIfd(*info.gps));
}

TiffBuilder::Ifd ExifTags::exifIfd(const CaptureInfo& info) {
    TiffBuilder::Ifd exif;
    exif.rationals(0x829a, {{1, quint32(info.exposureDenominator)}});
    exif.rationals(0x829d, {{quint32(std::lround(info.fNumber * 10)), 10}});
    exif.shorts(0x8827, {quint16(info.iso)});
    exif.undefined(0x9000, QByteArrayLiteral("0231"));
    const QByteArray date = info.exifDateTime().toUtf8();
    exif.ascii(0x9003, date);
    exif.ascii(0x9004, date);
    return exif;
}

TiffBuilder::Ifd ExifTags::gpsIfd(const CaptureInfo::Gps& gps) {
    TiffBuilder::Ifd ifd;
    ifd.bytes(0x0000, QByteArray("\x02\x03\x00\x00", 4));
    ifd.ascii(0x0001, gps.latitude >= 0 ? QByteArrayLiteral("N") : QByteArrayLiteral("S"));
    ifd.rationals(0x0002, degreesMinutesSeconds(gps.latitude));
    ifd.ascii(0x0003, gps.longitude >= 0 ? QByteArrayLiteral("E") : QByteArrayLiteral("W"));
    ifd.rationals(0x0004, degreesMinutesSeconds(gps.longitude));
    ifd.bytes(0x0005, QByteArray(1, gps.altitude >= 0 ? '\0' : '\1'));
    ifd.rationals(0x0006, {{quint32(std::lround(std::abs(gps.altitude) * 10)), 10}});
    return ifd;
}
