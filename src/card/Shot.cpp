#include "Shot.h"

#include <QHashFunctions>

ShotFormat Shot::displayFormat(ShotFormat preferring) const {
    if (files.url(preferring))
        return preferring;
    const QList<ShotFormat> present = files.formats();
    return present.isEmpty() ? preferring : present.first();
}

QString Shot::thumbnailSource() const {
    if (std::optional<QString> jpeg = files.url(ShotFormat::jpeg))
        return *jpeg;
    return files.url(ShotFormat::raw).value_or(QString());
}

size_t qHash(const Shot& shot, size_t seed) {
    return qHashMulti(seed, shot.id, shot.name, shot.files, shot.captured);
}
