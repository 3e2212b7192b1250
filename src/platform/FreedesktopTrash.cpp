#include "FreedesktopTrash.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Renames within one file system without replacing a file at `to`; answers 0 or an errno value.
int renameWithoutReplacing(const QString& from, const QString& to) {
    const QByteArray fromBytes = QFile::encodeName(from);
    const QByteArray toBytes = QFile::encodeName(to);
    if (::syscall(SYS_renameat2, AT_FDCWD, fromBytes.constData(), AT_FDCWD, toBytes.constData(),
                  RENAME_NOREPLACE) == 0)
        return 0;
    const int error = errno;
    if (error != EINVAL && error != ENOSYS)
        return error;
    // File systems without the no-replace flag (vfat on older kernels).
    if (QFileInfo::exists(to))
        return EEXIST;
    return ::rename(fromBytes.constData(), toBytes.constData()) == 0 ? 0 : errno;
}

QByteArray sha256(const QString& path, bool* ok) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    *ok = file.open(QIODevice::ReadOnly) && hash.addData(&file);
    return hash.result();
}

// Copies into a temporary file beside the destination, flushes it to disk,
// checks it against the source, then renames it into place without replacing.
std::expected<void, QString> copyVerifyAndRemove(const QString& from, const QString& to) {
    const QString temporary = QFileInfo(to).absolutePath() + u"/.zorva-restore-"_s +
                              QString::number(::getpid()) + u'-' + QFileInfo(to).fileName();
    QFile::remove(temporary);
    if (!QFile::copy(from, temporary))
        return std::unexpected(u"Cannot copy the file back"_s);
    auto discard = [&](const QString& reason) {
        QFile::remove(temporary);
        return std::unexpected(reason);
    };
    {
        QFile written(temporary);
        if (!written.open(QIODevice::ReadWrite) || ::fsync(written.handle()) != 0)
            return discard(u"Cannot write the file back"_s);
    }
    bool sourceOk = false;
    bool copyOk = false;
    const QByteArray sourceHash = sha256(from, &sourceOk);
    const QByteArray copyHash = sha256(temporary, &copyOk);
    if (!sourceOk || !copyOk || sourceHash != copyHash)
        return discard(u"The copy does not match the original"_s);
    if (const int error = renameWithoutReplacing(temporary, to); error != 0)
        return discard(errnoText(error));
    QFile::remove(temporary);
    QFile::remove(from);
    return {};
}

} // namespace

std::expected<void, QString> FreedesktopTrash::moveNoReplace(const QString& from, const QString& to) {
    const int error = renameWithoutReplacing(from, to);
    if (error == 0)
        return {};
    if (error == EXDEV)
        return copyVerifyAndRemove(from, to);
    return std::unexpected(errnoText(error));
}

std::expected<std::optional<QString>, QString> FreedesktopTrash::moveToTrash(const QString& path) {
    // Qt cannot create the home Trash when the user's data folder is missing.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    QFile file(path);
    if (!file.moveToTrash())
        return std::unexpected(file.errorString());
    // On success the file's name is its path in the Trash.
    if (file.fileName() == path)
        return std::optional<QString>();
    return std::optional<QString>(file.fileName());
}

std::expected<void, QString> FreedesktopTrash::restore(const QString& inTrash, const QString& original) {
    if (std::expected<void, QString> moved = moveNoReplace(inTrash, original); !moved)
        return moved;
    const QFileInfo trashed(inTrash);
    const QDir filesFolder = trashed.dir();
    if (filesFolder.dirName() == u"files"_s) {
        QFile::remove(QDir(filesFolder.absolutePath() + u"/../info"_s).absoluteFilePath(trashed.fileName()) +
                      u".trashinfo"_s);
    }
    return {};
}
