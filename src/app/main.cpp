#include "card/MountAgent.h"
#include "platform/AvahiBrowser.h"
#include "platform/FileManagerReveal.h"
#include "platform/FreedesktopTrash.h"
#include "platform/LinuxVolumeMonitor.h"
#include "platform/SingleInstance.h"
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
#include <QStandardPaths>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

QString editsFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation))
        .filePath(u"Zorva Edits"_s);
}

} // namespace

int main(int argc, char* argv[]) {
    // The mount agent's run: no display, no window, no store. Only an argument
    // equal to the flag counts; "--on-mount=1" or "--ON-MOUNT" start the viewer.
    if (std::any_of(argv + 1, argv + argc,
                    [](const char* arg) { return std::strcmp(arg, "--on-mount") == 0; })) {
        QCoreApplication agent(argc, argv);
        MountAgent::openViewerIfNewCameraMounted();
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Zorva Viewer"_s);
    QApplication::setOrganizationName(u"Zorva"_s);
    QApplication::setDesktopFileName(QString::fromLatin1(ZV_APPLICATION_ID));

    // One viewer per user: a second launch hands its folder to the first and
    // exits before anything else is set up. Should the running one not answer,
    // this one runs on its own.
    const QStringList arguments = app.arguments().mid(1);
    const QString folder = arguments.isEmpty() ? QString() : QDir(arguments.first()).absolutePath();
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
    ViewerStore store(services);
    ThumbnailLoader thumbnails(store.renderer(), *store.pools().utility(), ScreenConversion::forScreen);

    QObject::connect(&instance, &SingleInstance::activationRequested, &store, [&](const QString& requested) {
        if (!requested.isEmpty())
            store.open(PhotoSource::folder(requested));
        windowControl.activate();
    });

    MainWindow window(store, thumbnails, ScreenConversion::forScreen);
    folderChooser.setParent(&window);
    window.resize(1280, 860);

    // Launching has finished: register the mount agent, off the main thread
    // since it waits for systemctl.
    QTimer::singleShot(0, &app,
                       [] { QThreadPool::globalInstance()->start([] { MountAgent::registerAgent(); }); });
    QObject::connect(&window, &MainWindow::firstShown, &store, [&] {
        store.start();
        if (!folder.isEmpty())
            store.open(PhotoSource::folder(folder));
    });
    window.show();
    return app.exec();
}
