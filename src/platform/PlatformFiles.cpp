#include "PlatformFiles.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

QByteArray PlatformFiles::descriptorPath(int fd) {
#ifdef __linux__
    return QByteArrayLiteral("/proc/self/fd/") + QByteArray::number(fd);
#else
    return QByteArrayLiteral("/dev/fd/") + QByteArray::number(fd);
#endif
}

int PlatformFiles::openUnnamed(const QByteArray& folder, int mode) {
#ifdef O_TMPFILE
    return ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
#else
    (void)folder;
    (void)mode;
    errno = EOPNOTSUPP;
    return -1;
#endif
}

int PlatformFiles::linkUnnamed(int fd, const QByteArray& target) {
#ifdef __linux__
    return ::linkat(AT_FDCWD, descriptorPath(fd).constData(), AT_FDCWD, target.constData(),
                    AT_SYMLINK_FOLLOW);
#else
    (void)fd;
    (void)target;
    errno = EOPNOTSUPP;
    return -1;
#endif
}

int PlatformFiles::renameNoReplace(const QByteArray& from, const QByteArray& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
#endif
    // No atomic no-replace rename here: a hard link never replaces either,
    // and then the old name goes.
    if (::link(from.constData(), to.constData()) != 0)
        return -1;
    ::unlink(from.constData());
    return 0;
}

int PlatformFiles::exchange(const QByteArray& a, const QByteArray& b) {
#ifdef RENAME_EXCHANGE
    return ::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_EXCHANGE);
#else
    (void)a;
    (void)b;
    errno = ENOSYS;
    return -1;
#endif
}

QString PlatformFiles::executablePath() {
#ifdef __linux__
    return QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
#else
    return {};
#endif
}
