#include "UiHarness.h"
#include "support/FileTree.h"
#include "support/TestImages.h"

#include "ui/CapsuleLabel.h"
#include "ui/EmptyLibraryView.h"
#include "ui/PhotoStage.h"
#include "ui/StageArrow.h"
#include "ui/ToastView.h"

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

void writeShots(const QString& folder, int count) {
    for (int i = 0; i < count; ++i) {
        const QString path = folder + u"/ZRV_%1.JPG"_s.arg(i, 4, 10, QLatin1Char('0'));
        TestImages::writeJpeg(path, QSize(600, 400), QColor::fromHsv(i * 50 % 360, 180, 200));
        FileTree::setModified(path, at(59 - i));
    }
}

QAbstractButton* button(QMessageBox* box, const QString& text) {
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == text)
            return button;
    }
    qFatal("no button %s", qPrintable(text));
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstSizeFitsTheScreen() {
        // A 1200 x 800 point screen: the frame, with a title bar, fits and is centred.
        QCOMPARE(MainWindow::firstGeometry(QRect(0, 0, 1200, 800), QSize(900, 680)), QRect(0, 40, 1200, 760));
        // A large second screen: the comfortable size, centred on that screen.
        QCOMPARE(MainWindow::firstGeometry(QRect(1920, 0, 2560, 1400), QSize(900, 680)),
                 QRect(2560, 290, 1280, 860));
        // Never below the minimum, even on a screen smaller than it.
        QCOMPARE(MainWindow::firstGeometry(QRect(0, 0, 1024, 600), QSize(900, 680)).size(), QSize(1024, 680));

        // The size the user left the window at comes back, fitted the same way.
        QTemporaryDir dir;
        QSettings settings(dir.filePath(u"viewer.ini"_s), QSettings::IniFormat);
        QCOMPARE(MainWindow::preferredSize(settings), QSize(1280, 860));
        {
            ViewerHarness h(QSize(1000, 720));
            QTRY_COMPARE(h.window.size(), QSize(1000, 720));
            h.window.saveSize(settings);
        }
        QCOMPARE(MainWindow::preferredSize(settings), QSize(1000, 720));
        QCOMPARE(MainWindow::firstGeometry(QRect(0, 0, 1200, 800), QSize(900, 680), QSize(1000, 720)),
                 QRect(100, 60, 1000, 720));
        QCOMPARE(MainWindow::firstGeometry(QRect(0, 0, 1200, 800), QSize(900, 680), QSize(3000, 2000)),
                 QRect(0, 40, 1200, 760));
    }

    void titlesEmptyTextsBadgesAndArrows() {
        ViewerHarness h;
        QCOMPARE(h.window.windowTitle(), u"Zorva Viewer"_s);
        QCOMPARE(h.window.subtitle(), QString());
        // 900 x 600 is the content's minimum; menu bar and toolbar come on top.
        h.window.resize(100, 100);
        QTRY_COMPARE(h.window.content()->size(), QSize(900, 600));
        QVERIFY(h.window.height() > 600);
        h.window.resize(1280, 860);
        QTRY_COMPARE(h.window.size(), QSize(1280, 860));
        auto* empty = child<EmptyLibraryView>(h.window, u"emptyLibrary"_s);
        QLabel* emptyTitle = empty->findChildren<QLabel*>().first();
        QVERIFY(empty->isVisible());
        QCOMPARE(emptyTitle->text(), u"Connect your Zorva"_s);
        QCOMPARE(EmptyLibraryView::detail(PhotoSource::none()),
                 u"Plug the camera in by USB and switch it on. Its photos open here by themselves."_s);
        QCOMPARE(EmptyLibraryView::detail(PhotoSource::camera(u"Zorva ZR-1"_s, u"/media/a/DCIM"_s)),
                 u"Zorva ZR-1 has no JPEG or RAW photos."_s);

        QTemporaryDir dir;
        const QString trip = dir.filePath(u"Trip"_s);
        QDir().mkpath(trip);
        h.openAndSettle(trip);
        QCOMPARE(h.window.windowTitle(), u"Trip"_s);
        QCOMPARE(emptyTitle->text(), u"No photos here"_s);
        QCOMPARE(EmptyLibraryView::detail(h.store.library().source), u"Trip has no JPEG or RAW photos."_s);

        writeShots(trip, 3);
        h.openAndSettle(trip);
        QVERIFY(!empty->isVisible());
        auto* previous = child<StageArrow>(h.window, u"previousArrow"_s);
        auto* next = child<StageArrow>(h.window, u"nextArrow"_s);
        QVERIFY(!previous->isEnabled() && next->isEnabled());
        h.store.select(2);
        QVERIFY(previous->isEnabled() && !next->isEnabled());
        QCOMPARE(previous->toolTip(), u"Previous photo"_s);
        QCOMPARE(h.window.subtitle(), u"3 of 3 \u00B7 ZRV_0002"_s);
        QCOMPARE(h.window.windowTitle(), u"Trip \u2014 3 of 3 \u00B7 ZRV_0002"_s);
        // While another folder is read, the title still names the list shown.
        QTemporaryDir other;
        writeShots(other.path(), 1);
        {
            PoolGate gate(h.store.pools().userInitiated());
            h.store.open(PhotoSource::folder(other.path()));
            QCOMPARE(h.store.library().state, Library::State::scanning);
            QVERIFY(h.window.windowTitle().startsWith(u"Trip \u2014"_s));
        }
        h.openAndSettle(trip);
        h.store.select(2);

        auto* format = child<CapsuleLabel>(h.window, u"formatBadge"_s);
        QVERIFY(format->isVisible());
        QCOMPARE(format->text(), u"JPEG"_s);
        QCOMPARE(format->toolTip(), u"This shot has only a JPEG"_s);
        auto* zoom = child<CapsuleLabel>(h.window, u"zoomBadge"_s);
        QVERIFY(!zoom->isVisible());
        h.store.setZoom(1.006);
        QVERIFY(zoom->isVisible());
        QCOMPARE(zoom->text(), u"101%"_s);
        // Keys and the file manager as the desktop names them.
        QCOMPARE(zoom->toolTip(), u"Ctrl+0 or Z shows the whole photo"_s);
        QCOMPARE(ToastView::actionLabel(ToastAction::Kind::showInFinder), u"Show in Folder"_s);
        QCOMPARE(PhotoStage::zoomBadgeText(2.5), u"250%"_s);

        // In full screen the chrome goes; in crop mode the crop bar takes its place.
        h.store.toggleImmersive();
        QVERIFY(!format->isVisible() && !zoom->isVisible());
        h.store.toggleImmersive();
        h.store.startCrop();
        QVERIFY(!format->isVisible());
        QVERIFY(child<QWidget>(h.window, u"cropBar"_s)->isVisible());

        // A single shot: neither arrow.
        QTemporaryDir single;
        writeShots(single.path(), 1);
        h.openAndSettle(single.path());
        QVERIFY(!previous->isEnabled() && !next->isEnabled());
    }

    void everyShortcutReachesTheStore() {
        QTemporaryDir dir;
        writeShots(dir.path(), 4);
        ViewerHarness h;
        h.openAndSettle(dir.path());

        const std::pair<Qt::Key, int> steps[] = {
            {Qt::Key_Right, 1}, {Qt::Key_End, 3}, {Qt::Key_Right, 3}, {Qt::Key_Left, 2}, {Qt::Key_Home, 0}};
        for (const auto& [key, index] : steps) {
            h.key(key);
            QCOMPARE(h.store.currentIndex(), index);
        }

        h.key(Qt::Key_3);
        QCOMPARE(h.store.currentEdit().look, Look::noir);
        h.key(Qt::Key_Down);
        QCOMPARE(h.store.currentEdit().look, Look::chrome);
        h.key(Qt::Key_Up);
        h.key(Qt::Key_Up);
        QCOMPARE(h.store.currentEdit().look, Look::mono);

        // 0 resets the edit, Ctrl+0 fits the zoom: never the other.
        const std::pair<Qt::Key, double> zooms[] = {
            {Qt::Key_Equal, 1.5}, {Qt::Key_Plus, 2.25}, {Qt::Key_Minus, 1.5}};
        for (const auto& [key, zoom] : zooms) {
            h.key(key, Qt::ControlModifier);
            QCOMPARE(h.store.zoom(), zoom);
        }
        h.key(Qt::Key_0);
        QCOMPARE(h.store.currentEdit(), Edit{});
        QCOMPARE(h.store.zoom(), 1.5);
        h.key(Qt::Key_4);
        h.key(Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(h.store.zoom(), 1.0);
        QCOMPARE(h.store.currentEdit().look, Look::chrome);

        // Z toggles actual size and fit; Ctrl+Z undoes a trash.
        h.key(Qt::Key_Z);
        QCOMPARE(h.store.zoom(), h.store.actualSizeZoom());
        h.key(Qt::Key_Z);
        QCOMPARE(h.store.zoom(), 1.0);
        h.key(Qt::Key_Delete);
        QCOMPARE(h.store.shots().size(), 3);
        h.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(h.store.shots().size(), 4);
        h.key(Qt::Key_Backspace, Qt::ControlModifier);
        QCOMPARE(h.store.shots().size(), 3);
        h.key(Qt::Key_Z, Qt::ControlModifier);

        h.key(Qt::Key_E);
        QVERIFY(h.store.isEditPanelShown());
        h.key(Qt::Key_E);
        QVERIFY(!h.store.isEditPanelShown());

        // Escape only leaves full screen.
        QVERIFY(!h.window.commands()->action(u"Leave Full Screen"_s)->isEnabled());
        h.key(Qt::Key_Escape);
        QVERIFY(!h.store.isImmersive());
        h.key(Qt::Key_F);
        QVERIFY(h.store.isImmersive());
        QVERIFY(h.window.commands()->action(u"Leave Full Screen"_s)->isEnabled());
        h.key(Qt::Key_Escape);
        QVERIFY(!h.store.isImmersive());

        h.key(Qt::Key_C);
        QVERIFY(h.store.stageMode().isCropping());
        h.key(Qt::Key_Escape);
        QVERIFY(!h.store.stageMode().isCropping());
        h.key(Qt::Key_C);
        h.store.setCropDraft(UnitRect{0, 0, 0.5, 0.5});
        h.key(Qt::Key_Return);
        QCOMPARE(h.store.currentEdit().crop, (UnitRect{0, 0, 0.5, 0.5}));

        h.key(Qt::Key_S);
        h.settle();
        QVERIFY(QFileInfo::exists(h.editsFolder() + u"/ZRV_0000 crop.jpg"_s));
    }

    void toastsFloatAboveTheFilmstripAndPermanentDeleteAsksFirst() {
        ViewerHarness h;
        h.store.setToast(Toast::make(u"Hello"_s));
        ToastView* toast = h.window.content()->toastView();
        auto* action = toast->findChild<QPushButton*>(u"toastAction"_s);
        QVERIFY(toast->isVisible());
        QTRY_COMPARE(h.window.content()->height() - (toast->y() + toast->height()), 24);
        QVERIFY(!action->isVisible());
        h.store.setToast(Toast::make(u"Bye"_s));
        toast->findChild<QPushButton*>(u"toastDismiss"_s)->click();
        QCOMPARE(h.store.toast(), std::nullopt);

        // A card without a Trash of its own for RAW files.
        QTemporaryDir dir;
        writeShots(dir.path(), 2);
        FileTree::writeAt(dir.filePath(u"ZRV_0000.DNG"_s), at(59), "raw");
        h.trash.refusedSuffixes = {u".DNG"_s};
        h.openAndSettle(dir.path());
        h.store.select(1);
        h.store.trashCurrent();
        QTRY_COMPARE(h.window.content()->height() - (toast->y() + toast->height()), 108);
        QVERIFY(action->isVisible());
        QCOMPARE(action->text(), u"Undo"_s);
        action->click();
        QCOMPARE(h.store.shots().size(), 2);
        QCOMPARE(h.store.toast(), std::nullopt);

        h.store.select(0);
        h.store.trashCurrent();
        QMessageBox* box = h.window.deleteConfirmation();
        QVERIFY(box);
        QCOMPARE(box->text(), u"Delete \u201CZRV_0000\u201D permanently?"_s);
        QCOMPARE(box->informativeText(),
                 u"This card has no Trash, so its JPEG and RAW files can't be recovered."_s);
        QVERIFY(button(box, u"Delete Permanently"_s));
        button(box, u"Cancel"_s)->click();
        QTRY_COMPARE(h.store.permanentDeleteCandidate(), std::nullopt);
        QVERIFY(QFileInfo::exists(dir.filePath(u"ZRV_0000.DNG"_s)));

        h.store.trashCurrent();
        button(h.window.deleteConfirmation(), u"Delete Permanently"_s)->click();
        QTRY_COMPARE(h.store.shots().size(), 1);
        QVERIFY(!QFileInfo::exists(dir.filePath(u"ZRV_0000.DNG"_s)));
        QCOMPARE(h.store.toast()->message, u"Deleted ZRV_0000"_s);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
