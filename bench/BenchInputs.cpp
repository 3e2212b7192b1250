#include "BenchInputs.h"

#include "Ratio.h"

#include "samplegen/CameraJpegWriter.h"
#include "samplegen/CaptureInfo.h"
#include "samplegen/DngWriter.h"
#include "samplegen/SyntheticScene.h"

#include <QDir>
#include <QHash>
#include <QTemporaryDir>

#include <cstdio>
#include <mutex>

namespace {

struct Store {
    std::mutex mutex;
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/zorva-bench-XXXXXX")};
    QHash<QString, QString> files;
};

Store& store() {
    static Store s;
    return s;
}

CaptureInfo captureInfo() {
    CaptureInfo info;
    info.captured = QDateTime(QDate(2024, 5, 17), QTime(9, 30, 0));
    info.gps = CaptureInfo::Gps{46.4907, 9.8355, 1800};
    return info;
}

QString nameFor(const char* kind, QSize size) {
    return QStringLiteral("%1x%2.%3").arg(size.width()).arg(size.height()).arg(QLatin1String(kind));
}

// The file `name` in the folder, written by `write` the first time.
template <typename Write>
QString made(const QString& name, Write write) {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    if (auto it = s.files.constFind(name); it != s.files.constEnd())
        return *it;
    QString path;
    if (s.dir.isValid()) {
        path = s.dir.filePath(name);
        if (const auto written = write(path); !written) {
            std::fprintf(stderr, "cannot make %s: %s\n", qPrintable(name), qPrintable(written.error()));
            path.clear();
        }
    }
    s.files.insert(name, path);
    return path;
}

} // namespace

QString BenchInputs::jpeg(const char* kind, QSize size, bool thumbnail) {
    return made(nameFor(kind, size), [size, thumbnail](const QString& path) {
        CameraJpegWriter::Options options;
        options.quality = 92;
        options.subsampling = JpegEncoder::Subsampling::s420;
        options.thumbnail = thumbnail;
        return CameraJpegWriter::write(path, scene(size), captureInfo(), options);
    });
}

QImage BenchInputs::scene(QSize size) {
    SyntheticScene::Options options;
    options.kind = SyntheticScene::Kind::alpineLake;
    options.seed = 7;
    options.noise = 2.5;
    return SyntheticScene::landscape(size, options);
}

QString BenchInputs::cameraJpeg(QSize size) {
    return jpeg("jpg", size, true);
}

QString BenchInputs::cameraDng(QSize size) {
    return made(nameFor("dng", size), [size](const QString& path) {
        DngWriter::Options options;
        options.previewLongSide = 640;
        return DngWriter::write(path, scene(size), captureInfo(), options);
    });
}

QString BenchInputs::plainJpeg(QSize size) {
    return jpeg("plain.jpg", size, false);
}

int BenchInputs::screenSide() {
    return smokeRun() ? 256 : 2560;
}

QSize BenchInputs::size24() {
    return smokeRun() ? QSize(600, 400) : QSize(6000, 4000);
}

QSize BenchInputs::size12() {
    return smokeRun() ? QSize(424, 283) : QSize(4240, 2832);
}
