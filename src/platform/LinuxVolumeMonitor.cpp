#include "LinuxVolumeMonitor.h"

#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr auto kMountInfoPath = "/proc/self/mountinfo";

bool isUnderDesktopMountFolder(const QString& mountPoint) {
    static const QString prefixes[] = {u"/media/"_s, u"/run/media/"_s, u"/mnt/"_s};
    for (const QString& prefix : prefixes) {
        if (mountPoint.startsWith(prefix) && mountPoint.size() > prefix.size())
            return true;
    }
    return false;
}

QString readMountInfo() {
    QFile file(QString::fromLatin1(kMountInfoPath));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // mountinfo is a virtual file: readAll keeps reading until the kernel is done.
    return QString::fromUtf8(file.readAll());
}

} // namespace

LinuxVolumeMonitor::LinuxVolumeMonitor(QObject* parent)
    : VolumeMonitor(parent) {}

LinuxVolumeMonitor::~LinuxVolumeMonitor() {
    notifier_.reset();
    if (mountInfoFd_ >= 0)
        ::close(mountInfoFd_);
}

QList<Volume> LinuxVolumeMonitor::userVisibleVolumes(const QList<MountEntry>& entries) {
    QList<Volume> volumes;
    for (const MountEntry& entry : entries) {
        if (!entry.source.startsWith(u"/dev/"_s) || !isUnderDesktopMountFolder(entry.mountPoint))
            continue;
        const QString name = QFileInfo(entry.mountPoint).fileName();
        if (name.isEmpty() || name.startsWith(u'.'))
            continue;
        // A later mount on the same point hides the earlier one.
        const auto same = std::find_if(volumes.begin(), volumes.end(),
                                       [&](const Volume& v) { return v.mountPoint == entry.mountPoint; });
        Volume volume{entry.mountPoint, name, entry.mountId, entry.device};
        if (same != volumes.end())
            *same = volume;
        else
            volumes.append(volume);
    }
    return volumes;
}

QList<Volume> LinuxVolumeMonitor::mountedVolumes() const {
    return userVisibleVolumes(MountInfo::parse(readMountInfo()));
}

namespace {
void drain(int fd) {
    ::lseek(fd, 0, SEEK_SET);
    char buffer[4096];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
}
} // namespace

void LinuxVolumeMonitor::startWatching() {
    if (notifier_)
        return;
    mountInfoFd_ = ::open(kMountInfoPath, O_RDONLY | O_CLOEXEC);
    if (mountInfoFd_ < 0)
        return;
    // The kernel flags the descriptor with POLLPRI after each change until it is read again.
    drain(mountInfoFd_);
    notifier_ = std::make_unique<QSocketNotifier>(mountInfoFd_, QSocketNotifier::Exception);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &LinuxVolumeMonitor::onMountTableChanged);
}

void LinuxVolumeMonitor::onMountTableChanged() {
    drain(mountInfoFd_);
    Q_EMIT volumesChanged();
}
