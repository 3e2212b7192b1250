#pragma once

#include "card/CardFakes.h"
#include "platform/FileReveal.h"
#include "platform/FolderChooser.h"
#include "platform/FreedesktopTrash.h"
#include "platform/VolumeMonitor.h"
#include "platform/WindowControl.h"
#include "store/ViewerStore.h"
#include "support/FileTree.h"
#include "support/TestImages.h"
#include "tv/TvFakes.h"

#include <QCoreApplication>
#include <QList>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThreadPool>

#include <memory>
#include <utility>

// Stand-ins for the desktop services a test cannot own: the mount table, the
// folder dialog, the window and the file manager.

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

// The Trash of a card: the real freedesktop Trash, except that files with one
// of the refused extensions cannot go there (a card without a Trash of its own).
class CardTrash final : public Trash {
public:
    FreedesktopTrash real;
    QStringList refusedSuffixes;
    int restores = 0;

    std::expected<std::optional<QString>, QString> moveToTrash(const QString& path) override {
        for (const QString& suffix : refusedSuffixes) {
            if (path.endsWith(suffix, Qt::CaseInsensitive))
                return std::unexpected(QStringLiteral("This volume has no Trash"));
        }
        return real.moveToTrash(path);
    }
    std::expected<void, QString> restore(const QString& inTrash, const QString& original) override {
        ++restores;
        return real.restore(inTrash, original);
    }
};

class FakeReveal final : public FileReveal {
public:
    QStringList revealed;
    void reveal(const QString& path) override { revealed.append(path); }
};

// A JPEG photo of one colour, its file time set to order it among the shots.
inline QString writePhoto(const QString& path, QSize size, const QColor& colour, const QDateTime& when,
                          int quality = 85) {
    TestImages::writeJpeg(path, size, colour, quality);
    FileTree::setModified(path, when);
    return path;
}

// Holds every thread of a pool until released, so that work queued meanwhile
// (a scan, a render) waits and the test sees the state before it lands.
class PoolGate {
public:
    explicit PoolGate(QThreadPool* pool)
        : threads_(pool->maxThreadCount()) {
        for (int i = 0; i < threads_; ++i)
            pool->start([this] { open_.acquire(); });
    }
    ~PoolGate() { release(); }
    PoolGate(const PoolGate&) = delete;
    PoolGate& operator=(const PoolGate&) = delete;

    void release() { open_.release(std::exchange(threads_, 0)); }

private:
    QSemaphore open_;
    int threads_;
};

// A store wired to fakes, as the application wires it to the real services.
// The home Trash and the edits folder live in a temporary folder of the test's.
struct StoreHarness {
    QTemporaryDir home;
    FakeVolumes volumes;
    FakeDevices devices;
    FakeFolderChooser chooser;
    FakeWindow window;
    CardTrash trash;
    FakeReveal reveal;
    FakeDnsSdBrowser castBrowser;
    FakeScreens screens;
    // The name of the Pictures folder, as the desktop's language has it.
    QString pictures;
    std::unique_ptr<ViewerStore> storage;
    ViewerStore& store;

    explicit StoreHarness(double timeScale = 1.0, QString picturesName = QStringLiteral("Pictures"))
        : pictures(std::move(picturesName))
        , storage(makeStore(timeScale))
        , store(*storage) {}

    QString editsFolder() const { return home.filePath(pictures + QStringLiteral("/Zorva Edits")); }

    // Lets background work finish and its results reach the store.
    void settle() {
        for (int i = 0; i < 4; ++i) {
            store.pools().waitForDone();
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents();
        }
    }

    // Opens a folder and waits for its first photo on the stage.
    void openAndSettle(const QString& folder) {
        store.open(PhotoSource::folder(folder));
        settle();
    }

    // Selects the shot of that name and waits for it on the stage.
    void show(const QString& name) {
        store.select(int(names(store.shots()).indexOf(name)));
        settle();
    }

private:
    std::unique_ptr<ViewerStore> makeStore(double timeScale) {
        qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
        StoreServices services{&volumes, &devices, &chooser,      &window,
                               &trash,   &reveal,  editsFolder(), timeScale};
        services.castBrowser = &castBrowser;
        services.screens = &screens;
        return std::make_unique<ViewerStore>(services);
    }
};
