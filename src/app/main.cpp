#include "CommandLine.h"

#include "card/MountAgent.h"
#include "platform/AvahiBrowser.h"
#include "platform/Background.h"
#include "platform/FileManagerReveal.h"
#include "platform/FreedesktopTrash.h"
#include "platform/GuiScreenList.h"
#include "platform/LinuxVolumeMonitor.h"
#include "platform/PlatformMemory.h"
#include "platform/SingleInstance.h"
#include "platform/TaskPools.h"
#include "platform/UdevDeviceProperties.h"
#include "store/ViewerStore.h"
#include "ui/Appearance.h"
#include "ui/DialogFolderChooser.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowControl.h"
#include "ui/ScreenConversion.h"
#include "ui/ThumbnailLoader.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// How long quitting waits for background work before it stops waiting.
constexpr std::chrono::seconds kQuitWait{3};

QString editsFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation))
        .filePath(u"Zorva Edits"_s);
}

} // namespace

int main(int argc, char* argv[]) {
    PlatformMemory::mapLargeBlocks();
    // The mount agent's run: no display, no window, no store. Only an argument
    // equal to the flag counts; "--on-mount=1" or "--ON-MOUNT" start the viewer.
    if (std::any_of(argv + 1, argv + argc,
                    [](const char* arg) { return std::strcmp(arg, "--on-mount") == 0; })) {
        QCoreApplication agent(argc, argv);
        MountAgent::openViewerIfNewCameraMounted();
        return 0;
    }

    QCoreApplication::setApplicationName(u"Zorva Viewer"_s);
    QCoreApplication::setApplicationVersion(QString::fromLatin1(ZV_VERSION));
    QCoreApplication::setOrganizationName(u"Zorva"_s);

    // --help and --version answer on a terminal without a display, before any
    // GUI is set up. The GUI application then takes out its own options
    // (-platform and the like), and the rest is read again.
    {
        QStringList raw;
        for (int i = 0; i < argc; ++i)
            raw.append(QString::fromLocal8Bit(argv[i]));
        CommandLine early(raw);
        if (early.run() != CommandLine::Run::viewer) {
            QCoreApplication info(argc, argv);
            CommandLine line(QCoreApplication::arguments());
            if (line.run() == CommandLine::Run::help)
                line.showHelp();
            line.showVersion();
        }
    }

    QApplication app(argc, argv);
    QApplication::setDesktopFileName(QString::fromLatin1(ZV_APPLICATION_ID));

    const CommandLine line(QApplication::arguments());
    if (!line.errorText().isEmpty())
        std::fprintf(stderr, "zorva-viewer: %s\n", qPrintable(line.errorText()));

    // One viewer per user: a second launch hands its folder to the first and
    // exits before anything else is set up. Should the running one not answer,
    // this one runs on its own.
    const QString folder = line.folder().isEmpty() ? QString() : QDir(line.folder()).absolutePath();
    SingleInstance instance(SingleInstance::nameForCurrentUser());
    if (instance.claim(folder, QDeadlineTimer(5000)) == SingleInstance::Claim::handedOver)
        return 0;

    Appearance::apply(app);
    LinuxVolumeMonitor volumes;
    UdevDeviceProperties devices;
    DialogFolderChooser folderChooser;
    MainWindowControl windowControl;
    FreedesktopTrash trash;
    FileManagerReveal reveal;
    AvahiBrowser castBrowser;
    StoreServices services{&volumes, &devices, &folderChooser, &windowControl,
                           &trash,   &reveal,  editsFolder()};
    services.castBrowser = &castBrowser;
    GuiScreenList screens;
    services.screens = &screens;
    ViewerStore store(services);
    ThumbnailLoader thumbnails(store.renderer(), *store.pools().utility(), ScreenConversion::forScreen);

    QObject::connect(&instance, &SingleInstance::activationRequested, &store, [&](const QString& requested) {
        if (!requested.isEmpty())
            store.open(PhotoSource::folder(requested));
        windowControl.activate();
    });

    MainWindow window(store, thumbnails, ScreenConversion::forScreen);
    folderChooser.setParent(&window);
    QSettings settings;
    window.placeOn(QGuiApplication::primaryScreen(), settings);

    // Launching has finished: register the mount agent, off the main thread
    // since it waits for systemctl.
    QTimer::singleShot(
        0, &app, [] { Background::run(QThreadPool::globalInstance(), [] { MountAgent::registerAgent(); }); });
    QObject::connect(&window, &MainWindow::firstShown, &store, [&] {
        store.start();
        if (!folder.isEmpty())
            store.open(PhotoSource::folder(folder));
    });
    window.show();
    const int status = app.exec();
    instance.release();
    window.saveSize(settings);

    // The window is gone: quitting must not wait on a job that never ends.
    // Finished jobs let everything be torn down in order; a stuck one ends the
    // process here, before the objects it might be using are destroyed.
    TaskPools::endProcessIfStuck(
        {store.pools().userInitiated(), store.pools().utility(), QThreadPool::globalInstance()},
        QDeadlineTimer(kQuitWait), status);
    return status;
}
