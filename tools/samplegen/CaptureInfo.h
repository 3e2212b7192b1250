#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// What a camera records about one exposure, written into every file of a shot.
struct CaptureInfo {
    struct Gps {
        double latitude = 0;  // degrees, north positive
        double longitude = 0; // degrees, east positive
        double altitude = 0;  // metres above sea level
        bool operator==(const Gps&) const = default;
    };

    QString make = QStringLiteral("ZORVA");
    QString model = QStringLiteral("ZR-1");
    // Local camera time, as cameras write it: no zone is recorded.
    QDateTime captured;
    // EXIF orientation 1-8: how the stored pixels must be turned to stand upright.
    int orientation = 1;
    int exposureDenominator = 250; // exposure time 1/N s
    double fNumber = 5.6;
    int iso = 200;
    std::optional<Gps> gps;

    // "YYYY:MM:DD HH:MM:SS", the EXIF date format.
    QString exifDateTime() const;

    bool operator==(const CaptureInfo&) const = default;
};
