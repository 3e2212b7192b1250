#pragma once

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <QImage>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// A file in a private temporary folder that each fuzz input is written to,
// for the readers that take a path: LibRaw, Exiv2 and the product's own
// file checks open the file themselves.
class ScratchFile {
public:
    explicit ScratchFile(const QString& name)
        : path_(folder_.filePath(name)) {}

    const QString& write(const uint8_t* data, size_t size) {
        QFile file(path_);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            qFatal("cannot write the fuzz input to %s", qPrintable(path_));
        return path_;
    }

    QString folder() const { return folder_.path(); }

private:
    QTemporaryDir folder_;
    QString path_;
};

// A picture larger than its bound is a fault the fuzzer must report.
inline void abortUnlessWithin(const QImage& image, int maxPixel) {
    if (std::max(image.width(), image.height()) > maxPixel)
        std::abort();
}
