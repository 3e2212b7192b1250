#pragma once

#include "UpdateError.h"

#include <QJsonValue>
#include <QString>

#include <expected>

// The self-contained folder the viewer runs from and replaces as a whole:
// `<bundle>/bin/zorva-viewer` beside the manifest `<bundle>/bundle.json`
// ("identifier", "version", "build") and the signature folder.
struct InstalledBundle {
    QString path;
    QString identifier;
    QString version;
    qint64 build = 0;

    QString executable() const;

    // The bundle that holds `executable` as its bin/zorva-viewer; an error
    // saying why when the program runs from anywhere else.
    static std::expected<InstalledBundle, UpdateError> containing(const QString& executable);
    // Reads a bundle's manifest; an error when there is none or it is not JSON.
    static std::expected<InstalledBundle, UpdateError> read(const QString& path);
    // A build number: text holding a decimal integer with an optional sign;
    // anything else (missing, not text, not a number) counts as 0.
    static qint64 buildNumber(const QJsonValue& value);

    static constexpr const char* kManifestName = "bundle.json";
    static constexpr const char* kExecutable = "bin/zorva-viewer";
};
