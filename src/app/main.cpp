#include "card/MountAgent.h"
#include "platform/LinuxVolumeMonitor.h"
#include "platform/SingleInstance.h"
#include "platform/UdevDeviceProperties.h"
#include "store/ViewerStore.h"
#include "ui/DialogFolderChooser.h"
#include "ui/MainWindowControl.h"
#include "ui/WindowTitles.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

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

    LinuxVolumeMonitor volumes;
    UdevDeviceProperties devices;
    DialogFolderChooser folderChooser;
    MainWindowControl windowControl;
    ViewerStore store({&volumes, &devices, &folderChooser, &windowControl});

    QObject::connect(&instance, &SingleInstance::activationRequested, &store, [&](const QString& requested) {
        if (!requested.isEmpty())
            store.open(PhotoSource::folder(requested));
        windowControl.activate();
    });

    QMainWindow window;
    window.setObjectName(u"viewer"_s);
    window.setMinimumSize(900, 600);
    auto* status = new QLabel(&window);
    status->setAlignment(Qt::AlignCenter);
    window.setCentralWidget(status);
    folderChooser.setParent(&window);

    auto refresh = [&] {
        window.setWindowTitle(WindowTitles::title(store.library().source));
        status->setText(QString::number(store.shots().size()) + u" photos"_s);
    };
    QObject::connect(&store, &ViewerStore::libraryChanged, &window, refresh);
    refresh();
    window.resize(1280, 820);
    window.show();

    QTimer::singleShot(0, &store, [&] {
        // Launching has finished: register the mount agent, off the main thread
        // since it waits for systemctl.
        QThreadPool::globalInstance()->start([] { MountAgent::registerAgent(); });
        store.start();
        if (!folder.isEmpty())
            store.open(PhotoSource::folder(folder));
    });
    return app.exec();
}
