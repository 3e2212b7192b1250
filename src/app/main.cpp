#include "platform/FileManagerReveal.h"
#include "platform/FreedesktopTrash.h"
#include "platform/LinuxVolumeMonitor.h"
#include "platform/UdevDeviceProperties.h"
#include "store/ViewerStore.h"
#include "ui/Appearance.h"
#include "ui/DialogFolderChooser.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowControl.h"
#include "ui/ThumbnailLoader.h"

#include <QApplication>
#include <QColorSpace>
#include <QDir>
#include <QStandardPaths>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// Display P3 bitmaps, ready for an sRGB screen.
QImage forScreen(const QImage& displayP3) {
    QImage converted = displayP3.colorSpace().isValid()
                           ? displayP3.convertedToColorSpace(QColorSpace(QColorSpace::SRgb))
                           : displayP3;
    return converted.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QString editsFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation))
        .filePath(u"Zorva Edits"_s);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Zorva Viewer"_s);
    QApplication::setOrganizationName(u"Zorva"_s);
    QApplication::setDesktopFileName(QString::fromLatin1(ZV_APPLICATION_ID));
    Appearance::apply(app);

    LinuxVolumeMonitor volumes;
    UdevDeviceProperties devices;
    DialogFolderChooser folderChooser;
    MainWindowControl windowControl;
    FreedesktopTrash trash;
    FileManagerReveal reveal;
    ViewerStore store({&volumes, &devices, &folderChooser, &windowControl, &trash, &reveal, editsFolder()});
    ThumbnailLoader thumbnails(store.renderer(), *store.pools().utility(), forScreen);

    MainWindow window(store, thumbnails, forScreen);
    folderChooser.setParent(&window);
    window.resize(1280, 860);

    const QStringList arguments = app.arguments().mid(1);
    QObject::connect(&window, &MainWindow::firstShown, &store, [&] {
        store.start();
        if (!arguments.isEmpty())
            store.open(PhotoSource::folder(QDir(arguments.first()).absolutePath()));
    });
    window.show();
    return app.exec();
}
