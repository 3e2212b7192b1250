#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The header of a JPEG file, read from its first bytes without decoding: the
// frame's size and components, the EXIF block (APP1 "Exif") and the ICC
// profile (APP2 "ICC_PROFILE" chunks, joined in order). Pure: the caller
// passes the file's head and, when told, a longer head.
struct JpegMarkers {
    enum class Status { complete, needMore, invalid };

    Status status = Status::invalid;
    qsizetype needed = 0; // bytes of head to pass next time (needMore)
    int width = 0;
    int height = 0;
    int components = 0;
    QByteArray exif; // TIFF structure after "Exif\0\0"
    QByteArray icc;

    // Scans markers up to the first frame header (SOFn).
    static JpegMarkers parse(QByteArrayView head);
};
