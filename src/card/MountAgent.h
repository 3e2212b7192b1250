#pragma once

#include "platform/DeviceProperties.h"
#include "platform/SystemLog.h"
#include "platform/UserUnits.h"
#include "platform/ViewerLauncher.h"
#include "platform/VolumeMonitor.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// Opens the viewer by itself when a camera card is mounted. In the viewer,
// registerAgent() installs a pair of systemd user units: a path unit watching
// the desktop's automount folders and a oneshot service that runs this
// executable with "--on-mount" whenever a mount folder appears or goes away.
// That run calls openViewerIfNewCameraMounted(), which compares the cards now
// mounted with those of the last run and opens the viewer only for a new one.
// Static functions only; each runs to completion on the calling thread.
class MountAgent {
public:
    // What the agent run uses of the system. The defaults are this user's.
    struct Services {
        const VolumeMonitor& volumes;
        const DeviceProperties& devices;
        ViewerLauncher& launcher;
        SystemLog& log;
        // The folder of the state file.
        QString stateFolder;
        // The automount folder appears a moment before the volume is mounted on
        // it: when nothing new is mounted at first, the mounts are read again
        // for this long before the agent concludes.
        std::chrono::milliseconds settleTime{2000};
        std::chrono::milliseconds rereadInterval{100};
    };

    // The whole run ends within this, the viewer's start included.
    static constexpr std::chrono::seconds kRunLimit{10};

    // Installs, enables and starts the user units; nothing when they are
    // already enabled with the same content. Failures go to the system log and
    // change nothing else. Blocking (it runs systemctl): call on a worker thread.
    static void registerAgent();
    // The same with the given service manager, log and executable to run.
    static void registerAgent(UserUnits& units, SystemLog& log, const QString& executable);

    // The run of "--on-mount". Needs a QCoreApplication (for the local socket)
    // but no display.
    static void openViewerIfNewCameraMounted();
    static void openViewerIfNewCameraMounted(const Services& services);

    // "<application id>.on-mount": the name of both units, before the suffix.
    static QString unitName();
    // $XDG_DATA_HOME/Zorva Viewer (~/.local/share/Zorva Viewer by default).
    static QString defaultStateFolder();

private:
    static QString pathUnit();
    // Nothing for an executable path that systemd cannot run.
    static std::optional<QString> serviceUnit(const QString& executable);
    static QString stateFile(const QString& folder);
    // One identifier per mounted card: the mount ID, the file system's UUID
    // where it has one, and the mount point. The kernel hands a freed mount ID
    // out again, so a different card quickly mounted in the same place is told
    // apart by its UUID.
    static QStringList mountedCards(const QList<Volume>& volumes, const DeviceProperties& devices);
    static QStringList readState(const QString& file);
    static void writeState(const QString& file, const QStringList& cards);
};
