#include "SampleCard.h"

#include "CameraJpegWriter.h"
#include "DngWriter.h"
#include "ExifOrientation.h"
#include "Rw2Writer.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

using Kind = SyntheticScene::Kind;

constexpr QSize kLandscape{2000, 1333};
constexpr QSize kPortrait{1333, 2000};
constexpr double kNoise = 1.8;
constexpr int kJpegQuality = 90;

SampleCard::Sample sample(const QString& jpeg, const QString& raw, Kind scene, QTime time, int exposure,
                          double fNumber, int iso) {
    SampleCard::Sample s;
    s.jpeg = jpeg;
    s.raw = raw;
    s.scene = scene;
    s.seed = quint32(time.msecsSinceStartOfDay() / 1000);
    s.info.captured = QDateTime(QDate(2024, 6, 15), time);
    s.info.exposureDenominator = exposure;
    s.info.fNumber = fNumber;
    s.info.iso = iso;
    s.jpegSize = kLandscape;
    s.rawSize = QSize(448, 299);
    return s;
}

std::expected<void, QString> writeRaw(const QString& path, const QImage& upright, const CaptureInfo& info) {
    const QImage stored = ExifOrientation::toStored(upright, info.orientation);
    if (path.endsWith(u".dng"_s, Qt::CaseInsensitive)) {
        DngWriter::Options options;
        options.previewLongSide = 160;
        return DngWriter::write(path, stored, info, options);
    }
    if (path.endsWith(u".rw2"_s, Qt::CaseInsensitive))
        return Rw2Writer::write(path, stored, info);
    return std::unexpected(u"%1 is neither a DNG nor an RW2 file."_s.arg(path));
}

std::expected<void, QString> writeSample(const QDir& folder, const SampleCard::Sample& s) {
    SyntheticScene::Options scene{s.scene, s.seed, kNoise};
    if (!s.jpeg.isEmpty()) {
        const QImage upright = SyntheticScene::landscape(s.jpegSize, scene);
        CameraJpegWriter::Options options;
        options.quality = kJpegQuality;
        const QImage stored = ExifOrientation::toStored(upright, s.info.orientation);
        if (auto written = CameraJpegWriter::write(folder.filePath(s.jpeg), stored, s.info, options);
            !written)
            return written;
        if (!s.raw.isEmpty()) {
            // The RAW shows the same picture as its JPEG, at the RAW's size.
            const QImage small = upright.scaled(s.rawSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            return writeRaw(folder.filePath(s.raw), small, s.info);
        }
        return {};
    }
    return writeRaw(folder.filePath(s.raw), SyntheticScene::landscape(s.rawSize, scene), s.info);
}

} // namespace

QStringList SampleCard::Sample::fileNames() const {
    QStringList names;
    if (!jpeg.isEmpty())
        names << jpeg;
    if (!raw.isEmpty())
        names << raw;
    return names;
}

QList<SampleCard::Sample> SampleCard::samples() {
    QList<Sample> card;
    card << sample(u"ZRV_0001.JPG"_s, {}, Kind::meadow, QTime(9, 2, 13), 500, 8.0, 100);
    Sample portrait = sample(u"ZRV_0002.JPG"_s, {}, Kind::forest, QTime(9, 5, 41), 125, 4.0, 400);
    portrait.jpegSize = kPortrait;
    portrait.info.orientation = 6; // held upright; stored landscape
    card << portrait;
    Sample seaside =
        sample(u"ZRV_0003.jpg"_s, u"ZRV_0003.RW2"_s, Kind::seaside, QTime(9, 9, 2), 1000, 8.0, 100);
    seaside.info.gps = CaptureInfo::Gps{43.5528, 7.0174, 4};
    card << seaside;
    Sample alpine =
        sample(u"ZRV_0004.JPG"_s, u"zrv_0004.dng"_s, Kind::alpineLake, QTime(9, 12, 37), 320, 11.0, 100);
    alpine.rawSize = QSize(384, 256);
    alpine.info.gps = CaptureInfo::Gps{46.4907, 9.8355, 1800};
    card << alpine;
    Sample autumn = sample({}, u"ZRV_0005.DNG"_s, Kind::autumnHills, QTime(9, 16, 5), 250, 5.6, 200);
    autumn.rawSize = QSize(384, 256);
    card << autumn;
    card << sample(u"ZRV_0006.JPG"_s, u"ZRV_0006.RW2"_s, Kind::garden, QTime(9, 19, 48), 400, 5.6, 200);
    card << sample(u"ZRV_0007.JPG"_s, {}, Kind::desertSunset, QTime(9, 23, 10), 60, 4.0, 800);
    card << sample(u"ZRV_0008.JPG"_s, {}, Kind::cityDusk, QTime(9, 27, 55), 30, 2.8, 1600);
    return card;
}

std::expected<void, QString> SampleCard::write(const QString& dcim) {
    const QString path = QDir(dcim).filePath(QString::fromLatin1(kFolder));
    if (!QDir().mkpath(path))
        return std::unexpected(u"Can't create the folder %1."_s.arg(path));
    const QDir folder(path);
    for (const Sample& s : samples()) {
        if (auto written = writeSample(folder, s); !written)
            return written;
    }
    return touch(dcim);
}

std::expected<void, QString> SampleCard::touch(const QString& dcim) {
    const QDir folder(QDir(dcim).filePath(QString::fromLatin1(kFolder)));
    QStringList failures;
    for (const Sample& s : samples()) {
        const qint64 seconds = s.info.captured.toSecsSinceEpoch();
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        for (const QString& name : s.fileNames()) {
            const QByteArray file = QFile::encodeName(folder.filePath(name));
            if (::utimensat(AT_FDCWD, file.constData(), times, 0) != 0)
                failures << u"%1: %2"_s.arg(folder.filePath(name),
                                            QString::fromLocal8Bit(std::strerror(errno)));
        }
    }
    if (!failures.isEmpty())
        return std::unexpected(u"Can't set the time of %1"_s.arg(failures.join(u"; "_s)));
    return {};
}
