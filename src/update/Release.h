#pragma once

#include "UpdateError.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <expected>

// The release feed's record: the newest version, its build number (the only
// thing compared with the running program), its archive and the archive's SHA-256.
struct Release {
    QString version;
    qint64 build = 0;
    QUrl url;
    QString sha256;

    // Decodes the feed's body; all four keys are required, "build" as a JSON
    // integer. Pure: bytes in, a record or the decoder's message out.
    static std::expected<Release, UpdateError> decode(const QByteArray& json);

    bool operator==(const Release&) const = default;
};
