#include "PhotoScanner.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

enum class FileKind { other, jpeg, raw };

constexpr qint64 kDistantPastMs = std::numeric_limits<qint64>::min();
constexpr qint64 kDistantFutureMs = std::numeric_limits<qint64>::max();

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

struct Group {
    QString jpeg;
    QString raw;
    qint64 capturedMs = kDistantFutureMs;
};

struct FoundShot {
    QString key;
    Group group;
};

qint64 modificationMs(const struct stat& st) {
    // Floor division, so that dates before 1970 round the same way as later ones.
    const qint64 ns = static_cast<qint64>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    return ns >= 0 ? ns / 1'000'000 : -((-ns + 999'999) / 1'000'000);
}

// One pass over the tree. Files pair only within one folder, so grouping is
// done per folder on the short upper-cased stem; the folder's upper-cased path
// is computed once per folder rather than once per file.
class TreeWalk {
public:
    std::vector<FoundShot> found;

    void walk(const QByteArray& directory) {
        const int fd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return; // unreadable folders are passed over
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            return;
        }
        const QByteArray prefix = directory.endsWith('/') ? directory : directory + '/';
        const QString prefixText = QString::fromUtf8(prefix);
        std::vector<QByteArray> subfolders;
        groups_.clear();

        while (const dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (name[0] == '.')
                continue; // hidden entries, and . and ..
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN) {
                struct stat st;
                if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                type = S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
            }
            if (type == DT_DIR) {
                subfolders.emplace_back(prefix + name);
                continue;
            }
            const size_t length = std::strlen(name);
            size_t extensionLength = 0;
            const FileKind kind = kindOf(name, length, &extensionLength);
            if (kind == FileKind::other)
                continue;

            struct stat st;
            const qint64 fileMs = ::fstatat(fd, name, &st, 0) == 0 ? modificationMs(st) : kDistantPastMs;
            const QString fileName = QString::fromUtf8(name, qsizetype(length));
            const QString stem = fileName.first(fileName.size() - qsizetype(extensionLength) - 1).toUpper();

            Group& group = groups_[stem];
            // Of two files of one kind and key (A.JPG and A.JPEG), the later one wins.
            (kind == FileKind::jpeg ? group.jpeg : group.raw) = prefixText + fileName;
            // A shot's date is the oldest of its files; on a tie the stored one stays.
            if (fileMs < group.capturedMs)
                group.capturedMs = fileMs;
        }
        ::closedir(dir);

        if (!groups_.isEmpty()) {
            const QString upperPrefix = prefixText.toUpper();
            for (auto it = groups_.begin(); it != groups_.end(); ++it)
                found.push_back({upperPrefix + it.key(), std::move(it.value())});
        }
        for (const QByteArray& subfolder : subfolders)
            walk(subfolder);
    }

private:
    QHash<QString, Group> groups_;
};

QDateTime dateFromMs(qint64 ms) {
    static const QDateTime distantPast(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
    static const QDateTime distantFuture(QDate(4001, 1, 1), QTime(0, 0), Qt::UTC);
    if (ms == kDistantPastMs)
        return distantPast;
    if (ms == kDistantFutureMs)
        return distantFuture;
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
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
    tree.walk(QFile::encodeName(QDir::cleanPath(QDir(folder).absolutePath())));

    // Newest first; on equal dates the greater name first; the id only makes the
    // order of same-named shots in different folders repeatable.
    struct Sorted {
        qint64 capturedMs;
        QString name;
        FoundShot* shot;
    };
    std::vector<Sorted> order;
    order.reserve(tree.found.size());
    for (FoundShot& shot : tree.found) {
        const QString& first = shot.group.jpeg.isEmpty() ? shot.group.raw : shot.group.jpeg;
        order.push_back({shot.group.capturedMs, baseName(first), &shot});
    }
    std::sort(order.begin(), order.end(), [](const Sorted& a, const Sorted& b) {
        if (a.capturedMs != b.capturedMs)
            return a.capturedMs > b.capturedMs;
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
                          dateFromMs(entry.capturedMs)});
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
