// Writes small camera-like files as seeds for the image fuzz targets: a few
// kilobytes each, so that every mutation is quick to decode.
//   zorva-fuzz-seeds OUTDIR   (makes OUTDIR/jpeg and OUTDIR/raw)

#include "samplegen/CameraJpegWriter.h"
#include "samplegen/CaptureInfo.h"
#include "samplegen/DngWriter.h"
#include "samplegen/Rw2Writer.h"
#include "samplegen/SyntheticScene.h"

#include <QDir>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

bool report(const std::expected<void, QString>& written) {
    if (!written)
        std::fprintf(stderr, "zorva-fuzz-seeds: %s\n", qPrintable(written.error()));
    return bool(written);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zorva-fuzz-seeds OUTDIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(u"jpeg"_s) || !out.mkpath(u"raw"_s))
        return 1;

    const QImage scene = SyntheticScene::landscape(QSize(96, 64));
    CaptureInfo info;
    info.captured = QDateTime(QDate(2024, 5, 1), QTime(12, 30));
    CaptureInfo turned = info;
    turned.orientation = 6;
    turned.gps = CaptureInfo::Gps{48.2, 16.4, 180};

    CameraJpegWriter::Options plain;
    plain.thumbnail = false;
    plain.subsampling = JpegEncoder::Subsampling::s444;
    DngWriter::Options dngWithout;
    dngWithout.previewLongSide = 0;
    DngWriter::Options dngSmall;
    dngSmall.previewLongSide = 48;
    Rw2Writer::Options rw2Small;
    rw2Small.previewLongSide = 48;

    bool ok = true;
    ok &= report(CameraJpegWriter::write(out.filePath(u"jpeg/thumbnail.jpg"_s), scene, info));
    ok &= report(CameraJpegWriter::write(out.filePath(u"jpeg/turned.jpg"_s), scene, turned));
    ok &= report(CameraJpegWriter::write(out.filePath(u"jpeg/plain.jpg"_s), scene, info, plain));
    ok &= report(DngWriter::write(out.filePath(u"raw/preview.dng"_s), scene, turned, dngSmall));
    ok &= report(DngWriter::write(out.filePath(u"raw/plain.dng"_s), scene, info, dngWithout));
    ok &= report(Rw2Writer::write(out.filePath(u"raw/preview.rw2"_s), scene, info, rw2Small));
    return ok ? 0 : 1;
}
