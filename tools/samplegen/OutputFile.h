#pragma once

#include <QByteArray>
#include <QString>

#include <expected>

// Writes a finished file in one go through a temporary file that replaces the
// target only when everything is on disk, so a failed write never leaves half
// a photo behind.
class OutputFile {
public:
    static std::expected<void, QString> write(const QString& path, const QByteArray& bytes);
};
