#pragma once

// The viewer's window over the real store, renderer and Trash, with no
// mounts, devices or dialogs: the developer tools open their own folders.

#include "platform/DeviceProperties.h"
#include "platform/DnsSdBrowser.h"
#include "platform/FileReveal.h"
#include "platform/FolderChooser.h"
#include "platform/FreedesktopTrash.h"
#include "platform/GuiScreenList.h"
#include "platform/VolumeMonitor.h"
#include "store/ViewerStore.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowControl.h"
#include "ui/ScreenConversion.h"
#include "ui/ThumbnailLoader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

namespace rig {

// No mounts, no devices, no dialogs: the tool opens its own folders.
class NoVolumes final : public VolumeMonitor {
public:
    QList<Volume> mountedVolumes() const override { return {}; }
    void startWatching() override {}
};
class NoDevices final : public DeviceProperties {
public:
    std::optional<DeviceDescription> describe(const Volume&) const override { return std::nullopt; }
};
class NoChooser final : public FolderChooser {
public:
    std::optional<QString> chooseFolder() override { return std::nullopt; }
};
class NoReveal final : public FileReveal {
public:
    void reveal(const QString&) override {}
};

// Spins the event loop until `done` holds; false on timeout.
template <typename Predicate>
bool waitFor(Predicate done, int timeoutMs = 30000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// TVs the tool lists itself instead of finding them on the network.
class ListedTvs final : public DnsSdBrowser {
public:
    void start(const QString&) override {}
    void announce(const QList<DnsSdResult>& results) { Q_EMIT resultsChanged(results); }
};

struct Viewer {
    NoVolumes volumes;
    NoDevices devices;
    NoChooser chooser;
    MainWindowControl window;
    FreedesktopTrash trash;
    NoReveal reveal;
    QTemporaryDir home;
    GuiScreenList screens;
    ListedTvs tvs;
    ViewerStore store{services()};
    ThumbnailLoader thumbnails{store.renderer(), *store.pools().utility(), ScreenConversion::forScreen};
    MainWindow main{store, thumbnails, ScreenConversion::forScreen};

    Viewer() {
        main.resize(1440, 900);
        main.show();
        (void)QTest::qWaitForWindowExposed(&main);
        // Window shortcuts need an active window; Xvfb has no window manager to activate it.
        main.activateWindow();
        (void)QTest::qWaitForWindowActive(&main);
        store.start();
    }

    StoreServices services() {
        StoreServices wired{
            &volumes, &devices, &chooser, &window, &trash, &reveal, home.filePath(QStringLiteral("edits"))};
        wired.screens = &screens;
        wired.castBrowser = &tvs;
        return wired;
    }

    bool open(const QString& folder) {
        store.open(PhotoSource::folder(folder));
        return waitFor([&] {
            return store.library().state == Library::State::loaded && !store.displayedImage().isNull();
        });
    }
};

} // namespace rig
