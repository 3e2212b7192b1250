#pragma once

#include "ImagingError.h"

#include <QByteArray>
#include <QString>

#include <expected>

// A photo file opened for reading, known to be a regular file. A FIFO,
// socket or device named like a photo is refused at once: the file is opened
// without blocking and checked on the opened descriptor, so nothing put at
// the path in between can make a later read wait forever. Owns the
// descriptor; movable, not copyable. Any thread.
class RegularFile {
public:
    static std::expected<RegularFile, ImagingError> open(const QString& path);

    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    ~RegularFile();

    int fd() const { return fd_; }
    qint64 size() const { return size_; }
    // Gives up ownership of the descriptor.
    int release();
    // A path that reaches this very file (not whatever has its name now), for libraries that
    // only take a path; valid while this object keeps its descriptor.
    QByteArray descriptorPath() const;
    // Up to `count` bytes from the current position; fewer at the end.
    std::expected<QByteArray, ImagingError> read(qint64 count);

private:
    RegularFile(int fd, qint64 size)
        : fd_(fd)
        , size_(size) {}

    int fd_ = -1;
    qint64 size_ = 0;
};
