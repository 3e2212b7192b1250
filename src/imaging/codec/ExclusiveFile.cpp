#include "ExclusiveFile.h"

#include "platform/PlatformFiles.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The highest number tried before giving up: a folder with a thousand copies
// of one photo is far beyond any real use, and the bound keeps a file system
// that answers EEXIST for everything from looping forever.
constexpr int lastNumber = 100000;

ExclusiveFile::Failure failure(int code) {
    return {code, QString::fromLocal8Bit(std::strerror(code))};
}

} // namespace

std::expected<ExclusiveFile, ExclusiveFile::Failure> ExclusiveFile::create(const QString& folder) {
    const QByteArray dir = QFile::encodeName(folder);
    int fd = PlatformFiles::openUnnamed(dir, 0644);
    if (fd >= 0)
        return ExclusiveFile(folder, fd, {});
    // File systems without unnamed files (vfat, some network ones) get a
    // hidden temporary name instead.
    QByteArray pattern = dir + "/.zorva-save-XXXXXX";
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return std::unexpected(failure(errno));
    (void)::fchmod(fd, 0644);
    return ExclusiveFile(folder, fd, QFile::decodeName(pattern));
}

ExclusiveFile::ExclusiveFile(ExclusiveFile&& other) noexcept
    : folder_(std::move(other.folder_))
    , fd_(std::exchange(other.fd_, -1))
    , temporaryPath_(std::move(other.temporaryPath_))
    , published_(std::exchange(other.published_, true)) {}

ExclusiveFile::~ExclusiveFile() {
    discard();
}

void ExclusiveFile::discard() {
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
    if (!published_ && !temporaryPath_.isEmpty())
        ::unlink(QFile::encodeName(temporaryPath_).constData());
    published_ = true;
}

std::expected<QString, ExclusiveFile::Failure>
ExclusiveFile::publish(const std::function<QString(int)>& nameFor) {
    if (fd_ < 0 || published_)
        return std::unexpected(failure(EBADF));
    if (::fsync(fd_) != 0)
        return std::unexpected(failure(errno));

    const QByteArray temporary = QFile::encodeName(temporaryPath_);
    for (int n = 1; n <= lastNumber; ++n) {
        const QString path = QDir(folder_).filePath(nameFor(n));
        const QByteArray target = QFile::encodeName(path);
        const int result = temporaryPath_.isEmpty() ? PlatformFiles::linkUnnamed(fd_, target)
                                                    : PlatformFiles::renameNoReplace(temporary, target);
        if (result == 0) {
            published_ = true;
            ::close(std::exchange(fd_, -1));
            return path;
        }
        if (errno != EEXIST) {
            Failure failed = failure(errno);
            failed.path = path;
            return std::unexpected(failed);
        }
    }
    return std::unexpected(failure(EEXIST));
}
