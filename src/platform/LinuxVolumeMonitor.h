#pragma once

#include "MountInfo.h"
#include "VolumeMonitor.h"

#include <QSocketNotifier>

#include <memory>

// Reads the mount table of this process from /proc/self/mountinfo. The kernel
// flags that file with a priority event whenever the table changes, which a
// QSocketNotifier of type Exception reports on the main thread.
class LinuxVolumeMonitor final : public VolumeMonitor {
    Q_OBJECT
public:
    explicit LinuxVolumeMonitor(QObject* parent = nullptr);
    ~LinuxVolumeMonitor() override;

    QList<Volume> mountedVolumes() const override;
    void startWatching() override;

    // Block devices mounted under the desktop's mount folders (/media, /run/media,
    // /mnt), one per mount point, hidden names skipped. System mounts such as /,
    // /boot or /home never appear in a file manager's device list and are left out.
    static QList<Volume> userVisibleVolumes(const QList<MountEntry>& entries);

private:
    void onMountTableChanged();

    int mountInfoFd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};
