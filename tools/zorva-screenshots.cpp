// zorva-screenshots OUTDIR: shows the window in each of its main states on
// files it makes itself and writes one PNG per state into OUTDIR: empty,
// scanning, loaded (with the filmstrip), zoomed, failed, toast, edit panel,
// crop, both at the smallest window size, failed, then the TV menu open in each cast state against a local
// test receiver, and with a second screen (run it on two screens, or with
// QT_QPA_PLATFORM=offscreen:configfile=LAYOUT.json) the menu while presenting
// and the presentation window. Run it under Xvfb or on a desktop and look at
// the pictures.

#include "ViewerRig.h"
#include "support/FakeCastReceiver.h"

#include "samplegen/SampleCard.h"
#include "ui/Appearance.h"
#include "ui/CastMenu.h"
#include "ui/PresentationView.h"
#include "ui/ViewerToolbar.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QTextStream>

using namespace Qt::StringLiterals;
using namespace rig;

namespace {

bool idle(Viewer& viewer) {
    return viewer.store.pools().userInitiated()->activeThreadCount() == 0 &&
           viewer.store.pools().utility()->activeThreadCount() == 0;
}

// Lets work, animations and fades finish, then grabs the window.
void shoot(Viewer& viewer, const QString& path, int settleMs = 700) {
    waitFor([&] { return idle(viewer); });
    QTest::qWait(settleMs);
    viewer.main.grab().save(path);
    QTextStream(stdout) << path << '\n';
}

// The window with the TV menu open under its button.
void shootMenu(Viewer& viewer, const QString& path) {
    CastMenu* button = viewer.main.toolbar()->castMenu();
    QMenu* menu = button->menu();
    menu->popup(button->mapToGlobal(QPoint(0, button->height())));
    waitFor([&] { return idle(viewer); });
    QTest::qWait(300);
    QPixmap shot = viewer.main.grab();
    const QPixmap items = menu->grab();
    QPoint at = button->mapTo(&viewer.main, QPoint(0, button->height()));
    at.setX(std::min(at.x(), viewer.main.width() - items.width() - 4));
    QPainter painter(&shot);
    painter.drawPixmap(at, items);
    painter.end();
    menu->hide();
    shot.save(path);
    QTextStream(stdout) << path << '\n';
}

void shootTv(Viewer& viewer, const QDir& out) {
    FakeCastReceiver tv;
    QString error;
    if (!tv.start(&error)) {
        QTextStream(stderr) << "no test receiver for the TV menu: " << error << '\n';
        return;
    }
    tv.answersLaunch = false;
    shootMenu(viewer, out.filePath(u"9-tv-looking.png"_s));
    viewer.tvs.announce(
        {DnsSdResult{{u"127.0.0.1"_s, tv.port()}, QMap<QString, QString>{{u"fn"_s, u"Living Room"_s}}},
         DnsSdResult{{u"127.0.0.1"_s, 1}, QMap<QString, QString>{{u"fn"_s, u"Attic"_s}}}});
    CastController& cast = viewer.store.cast();
    cast.connectTo(cast.devices().at(1));
    waitFor([&] { return !tv.ofType(u"LAUNCH"_s).isEmpty(); });
    shootMenu(viewer, out.filePath(u"10-tv-connecting.png"_s));
    tv.sendStatus(true);
    waitFor([&] { return cast.state().kind == CastState::Kind::casting; });
    shootMenu(viewer, out.filePath(u"11-tv-casting.png"_s));
    cast.disconnect();
    cast.connectTo(cast.devices().at(0));
    waitFor([&] { return cast.state().kind == CastState::Kind::failed; });
    shootMenu(viewer, out.filePath(u"12-tv-failed.png"_s));

    TVDisplay& display = viewer.store.tvDisplay();
    if (!display.secondScreenName())
        return;
    display.present([&](const ScreenInfo& screen) { return PresentationView::cover(viewer.store, screen); });
    shootMenu(viewer, out.filePath(u"13-tv-presenting.png"_s));
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* view = qobject_cast<PresentationView*>(top)) {
            view->grab().save(out.filePath(u"14-presentation.png"_s));
            QTextStream(stdout) << out.filePath(u"14-presentation.png"_s) << '\n';
        }
    }
    display.close();
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    Appearance::apply(app);
    if (argc != 2) {
        QTextStream(stderr) << "usage: zorva-screenshots OUTDIR\n";
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    QTemporaryDir dir;
    if (!SampleCard::write(dir.path())) {
        QTextStream(stderr) << "cannot write the sample card\n";
        return 1;
    }
    const QString card = dir.filePath(QString::fromLatin1(SampleCard::kFolder));

    Viewer viewer;
    shoot(viewer, out.filePath(u"1-empty.png"_s));

    viewer.store.open(PhotoSource::folder(card));
    viewer.main.grab().save(out.filePath(u"2-scanning.png"_s));
    waitFor([&] { return !viewer.store.displayedImage().isNull(); });
    shoot(viewer, out.filePath(u"3-loaded.png"_s));

    viewer.store.setZoom(3);
    waitFor([&] { return !viewer.store.detailImage().isNull(); });
    shoot(viewer, out.filePath(u"4-zoomed.png"_s));
    viewer.store.resetZoom();

    viewer.store.saveCopy();
    waitFor([&] { return viewer.store.toast().has_value(); });
    shoot(viewer, out.filePath(u"5-toast.png"_s), 500);

    viewer.store.setToast(std::nullopt);
    viewer.store.setEditPanelShown(true);
    viewer.store.selectLook(Look::chrome);
    Edit edit = viewer.store.currentEdit();
    edit.adjustments.exposure = 0.3;
    edit.adjustments.warmth = -0.35;
    viewer.store.setCurrentEdit(edit);
    shoot(viewer, out.filePath(u"6-edit-panel.png"_s), 300);

    viewer.store.startCrop();
    viewer.store.setCropDraft(UnitRect{0.15, 0.1, 0.6, 0.7});
    shoot(viewer, out.filePath(u"7-crop.png"_s));
    // The smallest window: the whole panel, "Save Copy" included, and the crop bar fit.
    const QSize size = viewer.main.size();
    viewer.main.resize(viewer.main.minimumSizeHint());
    shoot(viewer, out.filePath(u"7b-crop-minimum.png"_s));
    viewer.store.cancelCrop();
    shoot(viewer, out.filePath(u"6b-edit-panel-minimum.png"_s));
    viewer.main.resize(size);
    viewer.store.setEditPanelShown(false);

    shootTv(viewer, out);

    // A damaged photo, the newest of its folder.
    const QString broken = dir.filePath(u"broken"_s);
    QDir().mkpath(broken);
    QFile file(broken + u"/ZRV_0100.JPG"_s);
    if (file.open(QIODevice::WriteOnly))
        file.write(QByteArray("\xFF\xD8\xFF\xE0 damaged", 14));
    file.close();
    viewer.store.open(PhotoSource::folder(broken));
    waitFor([&] { return viewer.store.photoLoad().state == PhotoLoad::State::failed; });
    shoot(viewer, out.filePath(u"8-failed.png"_s));
    return 0;
}
