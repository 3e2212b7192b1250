#include "platform/LinuxVolumeMonitor.h"
#include "platform/UdevDeviceProperties.h"
#include "store/ViewerStore.h"
#include "ui/DialogFolderChooser.h"
#include "ui/MainWindowControl.h"
#include "ui/WindowTitles.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Zorva Viewer"_s);
    QApplication::setOrganizationName(u"Zorva"_s);
    QApplication::setDesktopFileName(QString::fromLatin1(ZV_APPLICATION_ID));

    LinuxVolumeMonitor volumes;
    UdevDeviceProperties devices;
    DialogFolderChooser folderChooser;
    MainWindowControl windowControl;
    ViewerStore store({&volumes, &devices, &folderChooser, &windowControl});

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

    const QStringList arguments = app.arguments().mid(1);
    QTimer::singleShot(0, &store, [&] {
        store.start();
        if (!arguments.isEmpty())
            store.open(PhotoSource::folder(QDir(arguments.first()).absolutePath()));
    });
    return app.exec();
}
