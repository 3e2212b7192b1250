#include "RegularFile.h"

#include "platform/PlatformFiles.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

ImagingError systemError(int code) {
    return ImagingError{QString::fromLocal8Bit(std::strerror(code))};
}

} // namespace

std::expected<RegularFile, ImagingError> RegularFile::open(const QString& path) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::unexpected(systemError(errno));
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int code = errno;
        ::close(fd);
        return std::unexpected(systemError(code));
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        return std::unexpected(ImagingError{QStringLiteral("Not a regular file")});
    }
    // Reads of a regular file then behave as usual.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return RegularFile(fd, qint64(status.st_size));
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : fd_(other.fd_)
    , size_(other.size_) {
    other.fd_ = -1;
}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        size_ = other.size_;
        other.fd_ = -1;
    }
    return *this;
}

RegularFile::~RegularFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

int RegularFile::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

QByteArray RegularFile::descriptorPath() const {
    return PlatformFiles::descriptorPath(fd_);
}

std::expected<QByteArray, ImagingError> RegularFile::read(qint64 count) {
    QByteArray bytes(qsizetype(std::max<qint64>(count, 0)), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd_, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::unexpected(systemError(errno));
        if (n == 0)
            break;
        done += n;
    }
    bytes.truncate(done);
    return bytes;
}
