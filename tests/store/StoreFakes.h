#pragma once

#include "platform/DeviceProperties.h"
#include "platform/FolderChooser.h"
#include "platform/VolumeMonitor.h"
#include "platform/WindowControl.h"
#include "store/ViewerStore.h"

#include <QCoreApplication>
#include <QHash>
#include <QList>

// Stand-ins for the desktop services a test cannot own: the mount table, the
// device database, the folder dialog and the window.

class FakeVolumes final : public VolumeMonitor {
    Q_OBJECT
public:
    QList<Volume> volumes;
    bool watching = false;

    QList<Volume> mountedVolumes() const override { return volumes; }
    void startWatching() override { watching = true; }

    void mount(const Volume& volume) {
        volumes.append(volume);
        Q_EMIT volumesChanged();
    }
    void unmount(const QString& mountPoint) {
        volumes.removeIf([&](const Volume& v) { return v.mountPoint == mountPoint; });
        Q_EMIT volumesChanged();
    }
};

class FakeDevices final : public DeviceProperties {
public:
    QHash<QString, DeviceDescription> byMountPoint;
    std::optional<DeviceDescription> describe(const Volume& volume) const override {
        if (!byMountPoint.contains(volume.mountPoint))
            return std::nullopt;
        return byMountPoint.value(volume.mountPoint);
    }
};

class FakeFolderChooser final : public FolderChooser {
public:
    std::optional<QString> answer;
    int asked = 0;
    std::optional<QString> chooseFolder() override {
        ++asked;
        return answer;
    }
};

class FakeWindow final : public WindowControl {
    Q_OBJECT
public:
    int activations = 0;
    bool fullScreen = false;
    std::optional<double> scale = 2.0;

    void activate() override { ++activations; }
    bool isFullScreen() const override { return fullScreen; }
    void setFullScreen(bool value) override { fullScreen = value; }
    std::optional<double> screenScale() const override { return scale; }

    void leaveFullScreen() {
        fullScreen = false;
        Q_EMIT fullScreenExited();
    }
};

// A store wired to fakes, as the application wires it to the real services.
struct StoreHarness {
    FakeVolumes volumes;
    FakeDevices devices;
    FakeFolderChooser chooser;
    FakeWindow window;
    ViewerStore store{StoreServices{&volumes, &devices, &chooser, &window}};

    // Lets background work finish and its results reach the store.
    void settle() {
        for (int i = 0; i < 3; ++i) {
            store.pools().waitForDone();
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents();
        }
    }
};
