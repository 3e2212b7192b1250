#pragma once

#include "ShotFiles.h"

#include <QDateTime>
#include <QString>

// One photograph as the camera wrote it. A shot's identity in lists is `id`
// (its folder's path as on disk, then the upper-cased name of its files without
// extension: unique within one scan); equality and hashing
// use every field, so a rescanned shot whose files or date changed is a
// different value with the same id.
struct Shot {
    QString id;
    QString name;
    ShotFiles files;
    QDateTime captured;

    // The preferred format when the shot has that file, else its first format.
    ShotFormat displayFormat(ShotFormat preferring) const;
    // The JPEG when there is one, else the RAW.
    QString thumbnailSource() const;

    bool operator==(const Shot&) const = default;
};

size_t qHash(const Shot& shot, size_t seed = 0);
