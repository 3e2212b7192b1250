#pragma once

#include "Shot.h"

#include "platform/DeviceProperties.h"
#include "platform/Volume.h"

#include <QList>
#include <QString>

#include <optional>

// Finds the camera card among the mounted volumes and groups a folder tree's
// files into shots. Stateless; every function may run on any thread.
class PhotoScanner {
public:
    // A lower value ranks first when several camera volumes are mounted.
    enum class CameraMaker { zorva = 0, other = 1 };

    struct Camera {
        QString name;
        QString dcim;
        bool operator==(const Camera&) const = default;
    };

    struct Identity {
        QString displayName;
        CameraMaker maker;
        bool operator==(const Identity&) const = default;
    };

    // The volume to open: the first one identified as a Zorva camera, else the
    // first with a DCIM folder; nothing when no volume has one.
    static std::optional<Camera> mountedCamera(const QList<Volume>& volumes, const DeviceProperties& devices);

    // The shots under `folder`, newest first. Never fails: what cannot be read is
    // passed over, and a folder that cannot be read gives an empty list. Only
    // regular files, or links to them, are photos. A name whose bytes are not
    // valid UTF-8 is passed over (and counted in one warning), since no path
    // made from its text would lead back to the file.
    static QList<Shot> shots(const QString& folder);

    // A Zorva camera's display name, from its USB vendor and model; nothing for
    // any other device.
    static std::optional<Identity> deviceIdentity(const Volume& volume, const DeviceProperties& devices);

    static bool isJpegExtension(QStringView lowerCaseExtension);
    static bool isRawExtension(QStringView lowerCaseExtension);
};
