#pragma once

#include <QByteArray>
#include <QString>

// The file-system calls the core needs beyond portable POSIX: the kernel's
// own shortcuts where it has them, a portable form where one exists. Every
// function answers 0 or a descriptor on success and -1 with errno set.
class PlatformFiles {
public:
    // A path that opens the very file behind `fd` (not whatever sits at its
    // name now), for libraries that take only paths.
    static QByteArray descriptorPath(int fd);

    // A new file in `folder` with no name, so nothing half-written is ever
    // visible; -1 (EOPNOTSUPP where the system or file system has none).
    static int openUnnamed(const QByteArray& folder, int mode);
    // Gives a file made by openUnnamed the name `target`, never replacing a
    // file already there (EEXIST).
    static int linkUnnamed(int fd, const QByteArray& target);
    // Renames `from` to `to` unless `to` exists (EEXIST). Atomic where the
    // system has a no-replace rename; else a hard link, then the old name goes.
    static int renameNoReplace(const QByteArray& from, const QByteArray& to);

    // Swaps the two names `a` and `b` (files or folders on one file system) in
    // one step: at every moment each name holds one of the two whole. -1 with
    // ENOSYS where the system cannot swap atomically.
    static int exchange(const QByteArray& a, const QByteArray& b);

    // This process's executable, asked of the system rather than of the
    // application object, so that any thread may ask; empty if unknown.
    static QString executablePath();
};
