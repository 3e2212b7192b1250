#include "UiHarness.h"

#include "ui/CapsuleLabel.h"
#include "ui/EmptyLibraryView.h"
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
        // Keys as the desktop names them.
        QCOMPARE(zoom->toolTip(), u"Ctrl+0 or Z shows the whole photo"_s);

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

        // Each key, then what the store must show after it.
        const UnitRect quarter{0, 0, 0.5, 0.5};
        const auto index = [&](int i) { return [&h, i] { return h.store.currentIndex() == i; }; };
        const auto look = [&](Look l) { return [&h, l] { return h.store.currentEdit().look == l; }; };
        const auto zoom = [&](double z) { return [&h, z] { return h.store.zoom() == z; }; };
        const auto shots = [&](int n) { return [&h, n] { return h.store.shots().size() == n; }; };
        const auto leave = [&] { return h.window.commands()->action(u"Leave Full Screen"_s)->isEnabled(); };
        const Qt::KeyboardModifiers none, ctrl = Qt::ControlModifier;
        QCOMPARE(
            h.firstFailing({
                {Qt::Key_Right, none, index(1)},
                {Qt::Key_End, none, index(3)},
                {Qt::Key_Right, none, index(3)},
                {Qt::Key_Left, none, index(2)},
                {Qt::Key_Home, none, index(0)},
                {Qt::Key_3, none, look(Look::noir)},
                {Qt::Key_Down, none, look(Look::chrome)},
                {Qt::Key_Up, none, look(Look::noir)},
                {Qt::Key_Up, none, look(Look::mono)},
                // 0 resets the edit, Ctrl+0 fits the zoom: never the other.
                {Qt::Key_Equal, ctrl, zoom(1.5)},
                {Qt::Key_Plus, ctrl, zoom(2.25)},
                {Qt::Key_Minus, ctrl, zoom(1.5)},
                {Qt::Key_0, none, [&] { return h.store.currentEdit() == Edit{} && h.store.zoom() == 1.5; }},
                {Qt::Key_4, none, look(Look::chrome)},
                {Qt::Key_0, ctrl,
                 [&] { return h.store.zoom() == 1.0 && h.store.currentEdit().look == Look::chrome; }},
                // Z toggles actual size and fit; Ctrl+Z undoes a trash.
                {Qt::Key_Z, none, [&] { return h.store.zoom() == h.store.actualSizeZoom(); }},
                {Qt::Key_Z, none, zoom(1.0)},
                {Qt::Key_Delete, none, shots(3)},
                {Qt::Key_Z, ctrl, shots(4)},
                {Qt::Key_Backspace, ctrl, shots(3)},
                {Qt::Key_Z, ctrl, shots(4)},
                {Qt::Key_E, none, [&] { return h.store.isEditPanelShown(); }},
                {Qt::Key_E, none, [&] { return !h.store.isEditPanelShown(); }},
                // Escape only leaves full screen.
                {Qt::Key_Escape, none, [&] { return !h.store.isImmersive() && !leave(); }},
                {Qt::Key_F, none, [&] { return h.store.isImmersive() && leave(); }},
                {Qt::Key_Escape, none, [&] { return !h.store.isImmersive(); }},
                {Qt::Key_C, none, [&] { return h.store.stageMode().isCropping(); }},
                {Qt::Key_Escape, none, [&] { return !h.store.stageMode().isCropping(); }},
            }),
            -1);
        h.key(Qt::Key_C);
        h.store.setCropDraft(quarter);
        h.key(Qt::Key_Return);
        QCOMPARE(h.store.currentEdit().crop, quarter);

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
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
