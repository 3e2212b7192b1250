#pragma once

#include "CaptureInfo.h"
#include "SyntheticScene.h"

#include <QList>
#include <QSize>
#include <QString>

#include <expected>

// The sample card bundled with the viewer: eight shots of one morning in
// DCIM/100ZORVA, JPEG-only shots, JPEG + RAW pairs whose names differ in
// letter case, a portrait stored landscape with orientation 6, and a RAW-only
// DNG. Generating it twice gives the same bytes.
class SampleCard {
public:
    static constexpr const char* kFolder = "100ZORVA";

    struct Sample {
        QString jpeg; // file name, or empty for a RAW-only shot
        QString raw;  // file name (.dng or .rw2, any case), or empty
        SyntheticScene::Kind scene = SyntheticScene::Kind::meadow;
        quint32 seed = 1;
        CaptureInfo info;
        QSize jpegSize; // upright
        QSize rawSize;  // upright

        QStringList fileNames() const;
    };

    static QList<Sample> samples();

    // Writes every sample into `dcim`/100ZORVA (created if missing) and sets
    // the files' times.
    static std::expected<void, QString> write(const QString& dcim);

    // Sets each sample file's modification time to its capture time: the
    // viewer orders shots by file time, and a fresh checkout has none.
    static std::expected<void, QString> touch(const QString& dcim);
};
