#include "ShotFiles.h"

#include <QHashFunctions>

std::optional<QString> ShotFiles::url(ShotFormat format) const {
    switch (format) {
    case ShotFormat::jpeg:
        if (case_ != Case::rawOnly)
            return jpeg_;
        break;
    case ShotFormat::raw:
        if (case_ != Case::jpegOnly)
            return raw_;
        break;
    }
    return std::nullopt;
}

QStringList ShotFiles::all() const {
    switch (case_) {
    case Case::jpegOnly:
        return {jpeg_};
    case Case::rawOnly:
        return {raw_};
    case Case::both:
        return {jpeg_, raw_};
    }
    return {};
}

QList<ShotFormat> ShotFiles::formats() const {
    QList<ShotFormat> present;
    for (ShotFormat format : kShotFormats) {
        if (url(format))
            present.append(format);
    }
    return present;
}

size_t qHash(const ShotFiles& files, size_t seed) {
    const QStringList urls = files.all();
    return qHashRange(urls.begin(), urls.end(), qHash(static_cast<int>(files.kind()), seed));
}
