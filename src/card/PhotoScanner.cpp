#include "PhotoScanner.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QHash>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

enum class FileKind { other, jpeg, raw };

// A file's modification time as the kernel keeps it. Compared whole, so files
// written within one millisecond still sort by their real order; no arithmetic
// on it can overflow, whatever year a file claims.
struct FileTime {
    qint64 seconds = 0;
    qint64 nanoseconds = 0;
    auto operator<=>(const FileTime&) const = default;
};

constexpr FileTime kDistantPast{std::numeric_limits<qint64>::min(), 0};
constexpr FileTime kDistantFuture{std::numeric_limits<qint64>::max(), 0};

// The extension test works on the raw bytes of the name, so the many files that
// are neither JPEG nor RAW cost no conversion at all.
FileKind kindOf(const char* name, size_t length, size_t* extensionLength) {
    const char* dot = static_cast<const char*>(::memrchr(name, '.', length));
    if (!dot)
        return FileKind::other;
    const size_t n = length - static_cast<size_t>(dot + 1 - name);
    if (n < 3 || n > 4)
        return FileKind::other;
    char ext[5] = {};
    for (size_t i = 0; i < n; ++i) {
        const char c = dot[1 + i];
        ext[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    *extensionLength = n;
    if (std::strcmp(ext, "jpg") == 0 || std::strcmp(ext, "jpeg") == 0)
        return FileKind::jpeg;
    if (std::strcmp(ext, "dng") == 0 || std::strcmp(ext, "rw2") == 0)
        return FileKind::raw;
    return FileKind::other;
}

// The name as text, or nothing when the text would not lead back to the same
// bytes (a name that is not valid in the file-name encoding): a path made from
// it would name another file, or none, and two such names could collapse into one.
std::optional<QString> exactName(const char* name, size_t length) {
    const QByteArray bytes = QByteArray::fromRawData(name, qsizetype(length));
    QString text = QFile::decodeName(bytes);
    if (QFile::encodeName(text) != bytes)
        return std::nullopt;
    return text;
}

struct Group {
    QString jpeg;
    QString raw;
    FileTime captured = kDistantFuture;
};

struct FoundShot {
    QString key;
    Group group;
};

// One pass over the tree. Files pair only within one folder, so grouping is
// done per folder on the short upper-cased stem. The key keeps the folder's
// path as it is on disk: folders whose names differ only in letter case are
// different folders on Linux, and their shots must not share an id.
class TreeWalk {
public:
    std::vector<FoundShot> found;
    int unrepresentable = 0;

    void walk(const QByteArray& directory, const QString& directoryText) {
        const int fd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return; // unreadable folders are passed over
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            return;
        }
        const QByteArray prefix = directory.endsWith('/') ? directory : directory + '/';
        const QString prefixText = directoryText.endsWith(u'/') ? directoryText : directoryText + u'/';
        std::vector<std::pair<QByteArray, QString>> subfolders;
        groups_.clear();

        while (const dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (name[0] == '.')
                continue; // hidden entries, and . and ..
            const size_t length = std::strlen(name);
            unsigned char type = entry->d_type;
            struct stat st;
            if (type == DT_UNKNOWN) {
                if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                type = S_ISDIR(st.st_mode)   ? DT_DIR
                       : S_ISREG(st.st_mode) ? DT_REG
                       : S_ISLNK(st.st_mode) ? DT_LNK
                                             : 0;
            }
            if (type == DT_DIR) {
                if (const std::optional<QString> text = exactName(name, length))
                    subfolders.emplace_back(prefix + name, prefixText + *text);
                else
                    ++unrepresentable;
                continue;
            }
            // Only files can be photos: a FIFO, socket or device node named like
            // one would block or mislead whoever opens it.
            if (type != DT_REG && type != DT_LNK)
                continue;
            size_t extensionLength = 0;
            const FileKind kind = kindOf(name, length, &extensionLength);
            if (kind == FileKind::other)
                continue;

            // Followed, so a link counts only when it leads to a regular file; a
            // regular file whose date cannot be read is still listed.
            const bool stated = ::fstatat(fd, name, &st, 0) == 0;
            if (stated ? !S_ISREG(st.st_mode) : type != DT_REG)
                continue;
            const std::optional<QString> fileName = exactName(name, length);
            if (!fileName) {
                ++unrepresentable;
                continue;
            }
            const FileTime fileTime =
                stated ? FileTime{qint64(st.st_mtim.tv_sec), qint64(st.st_mtim.tv_nsec)} : kDistantPast;
            const QString stem = fileName->first(fileName->size() - qsizetype(extensionLength) - 1).toUpper();

            Group& group = groups_[stem];
            // Of two files of one kind and key (A.JPG and A.JPEG), the later one wins.
            (kind == FileKind::jpeg ? group.jpeg : group.raw) = prefixText + *fileName;
            // A shot's date is the oldest of its files; on a tie the stored one stays.
            if (fileTime < group.captured)
                group.captured = fileTime;
        }
        ::closedir(dir);

        for (auto it = groups_.begin(); it != groups_.end(); ++it)
            found.push_back({prefixText + it.key(), std::move(it.value())});
        for (const auto& [subfolder, subfolderText] : subfolders)
            walk(subfolder, subfolderText);
    }

private:
    QHash<QString, Group> groups_;
};

QDateTime dateOf(FileTime time) {
    static const QDateTime distantPast(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
    static const QDateTime distantFuture(QDate(4001, 1, 1), QTime(0, 0), Qt::UTC);
    // Beyond this a time in milliseconds no longer fits; no file system gets near it.
    constexpr qint64 kMaxSeconds = std::numeric_limits<qint64>::max() / 1000 - 1;
    if (time == kDistantPast || time.seconds < -kMaxSeconds)
        return distantPast;
    if (time == kDistantFuture || time.seconds > kMaxSeconds)
        return distantFuture;
    // The nanoseconds are never negative, so this rounds down before 1970 too.
    return QDateTime::fromMSecsSinceEpoch(time.seconds * 1000 + time.nanoseconds / 1'000'000, Qt::UTC);
}

QString baseName(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    return path.sliced(slash + 1, (dot > slash ? dot : path.size()) - slash - 1);
}

} // namespace

bool PhotoScanner::isJpegExtension(QStringView lowerCaseExtension) {
    return lowerCaseExtension == u"jpg" || lowerCaseExtension == u"jpeg";
}

bool PhotoScanner::isRawExtension(QStringView lowerCaseExtension) {
    return lowerCaseExtension == u"dng" || lowerCaseExtension == u"rw2";
}

QList<Shot> PhotoScanner::shots(const QString& folder) {
    TreeWalk tree;
    const QString root = QDir::cleanPath(QDir(folder).absolutePath());
    tree.walk(QFile::encodeName(root), root);
    if (tree.unrepresentable > 0)
        qWarning().noquote() << "PhotoScanner: passed over" << tree.unrepresentable
                             << "names that are not valid UTF-8 under" << root;

    // Newest first; on equal dates the greater name first; the id only makes the
    // order of same-named shots in different folders repeatable.
    struct Sorted {
        FileTime captured;
        QString name;
        FoundShot* shot;
    };
    std::vector<Sorted> order;
    order.reserve(tree.found.size());
    for (FoundShot& shot : tree.found) {
        const QString& first = shot.group.jpeg.isEmpty() ? shot.group.raw : shot.group.jpeg;
        order.push_back({shot.group.captured, baseName(first), &shot});
    }
    std::sort(order.begin(), order.end(), [](const Sorted& a, const Sorted& b) {
        if (a.captured != b.captured)
            return a.captured > b.captured;
        if (const int byName = QString::compare(a.name, b.name); byName != 0)
            return byName > 0;
        return a.shot->key > b.shot->key;
    });

    QList<Shot> shots;
    shots.reserve(qsizetype(order.size()));
    for (Sorted& entry : order) {
        Group& group = entry.shot->group;
        ShotFiles files = group.jpeg.isEmpty() ? ShotFiles::rawOnly(std::move(group.raw))
                          : group.raw.isEmpty()
                              ? ShotFiles::jpegOnly(std::move(group.jpeg))
                              : ShotFiles::both(std::move(group.jpeg), std::move(group.raw));
        shots.append(Shot{std::move(entry.shot->key), std::move(entry.name), std::move(files),
                          dateOf(entry.captured)});
    }
    return shots;
}

std::optional<PhotoScanner::Identity> PhotoScanner::deviceIdentity(const Volume& volume,
                                                                   const DeviceProperties& devices) {
    const std::optional<DeviceDescription> description = devices.describe(volume);
    if (!description)
        return std::nullopt;
    auto trimmed = [](const QString& text) {
        qsizetype begin = 0;
        qsizetype end = text.size();
        while (begin < end && (text[begin] == u' ' || text[begin] == u'\t'))
            ++begin;
        while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
            --end;
        return text.sliced(begin, end - begin);
    };
    const QString vendor = trimmed(description->vendor);
    const QString model = trimmed(description->model);
    if (vendor.compare(u"ZORVA"_s, Qt::CaseInsensitive) != 0 || model.isEmpty())
        return std::nullopt;
    return Identity{u"Zorva "_s + model, CameraMaker::zorva};
}

std::optional<PhotoScanner::Camera> PhotoScanner::mountedCamera(const QList<Volume>& volumes,
                                                                const DeviceProperties& devices) {
    std::optional<Camera> best;
    CameraMaker bestMaker = CameraMaker::other;
    for (const Volume& volume : volumes) {
        const QString dcim = QDir(volume.mountPoint).filePath(u"DCIM"_s);
        struct stat st;
        if (::stat(QFile::encodeName(dcim).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        const std::optional<Identity> identity = deviceIdentity(volume, devices);
        const CameraMaker maker = identity ? identity->maker : CameraMaker::other;
        // Strictly lower ranks first, so among equals the earliest volume wins.
        if (!best || static_cast<int>(maker) < static_cast<int>(bestMaker)) {
            best = Camera{identity ? identity->displayName : volume.name, dcim};
            bestMaker = maker;
        }
    }
    return best;
}
