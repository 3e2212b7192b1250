#pragma once

#include <QString>

// Where the shots come from: a mounted camera card, a folder the user chose, or nothing.
struct PhotoSource {
    enum class Kind { camera, folder, none };

    Kind kind = Kind::none;
    QString name; // camera: the display name the scanner gave the card
    QString url;  // camera: its DCIM folder; folder: the folder

    static PhotoSource camera(QString name, QString dcim) {
        return {Kind::camera, std::move(name), std::move(dcim)};
    }
    static PhotoSource folder(QString url) { return {Kind::folder, {}, std::move(url)}; }
    static PhotoSource none() { return {}; }

    bool operator==(const PhotoSource&) const = default;
};
