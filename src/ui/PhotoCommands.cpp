#include "PhotoCommands.h"

#include "store/ViewerStore.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>

using namespace Qt::StringLiterals;

PhotoCommands::PhotoCommands(ViewerStore& store, QMainWindow& window)
    : QObject(&window)
    , store_(store)
    , window_(window) {
    QMenuBar* bar = window.menuBar();

    QMenu* file = bar->addMenu(u"&File"_s);
    add(file, u"Open Folder\u2026"_s, {QKeySequence(Qt::CTRL | Qt::Key_O)},
        [this] { store_.chooseFolder(); });
    add(file, u"Save Edited Copy"_s, {QKeySequence(Qt::Key_S)}, [this] { store_.saveCopy(); });
    file->addSeparator();
    add(file, u"Quit"_s, {QKeySequence(Qt::CTRL | Qt::Key_Q)}, [this] { window_.close(); });

    QMenu* edit = bar->addMenu(u"&Edit"_s);
    add(edit, u"Undo Move to Trash"_s, {QKeySequence(Qt::CTRL | Qt::Key_Z)},
        [this] { store_.undoLastTrash(); });

    QMenu* photo = bar->addMenu(u"Photo"_s);
    add(photo, u"Next Photo"_s, {QKeySequence(Qt::Key_Right)},
        [this] { store_.select(store_.currentIndex() + 1); });
    add(photo, u"Previous Photo"_s, {QKeySequence(Qt::Key_Left)},
        [this] { store_.select(store_.currentIndex() - 1); });
    add(photo, u"First Photo"_s, {QKeySequence(Qt::Key_Home)}, [this] { store_.select(0); });
    add(photo, u"Last Photo"_s, {QKeySequence(Qt::Key_End)},
        [this] { store_.select(int(store_.shots().size()) - 1); });
    photo->addSeparator();
    add(photo, u"Switch JPEG / RAW"_s, {QKeySequence(Qt::Key_R)}, [this] { store_.toggleFormat(); });
    add(photo, u"Crop\u2026"_s, {QKeySequence(Qt::Key_C)}, [this] { store_.startCrop(); });
    photo->addSeparator();
    // Ctrl+= as well, for layouts where + needs Shift.
    add(photo, u"Zoom In"_s, {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
        [this] { store_.setZoom(store_.zoom() * kZoomStep); });
    add(photo, u"Zoom Out"_s, {QKeySequence(Qt::CTRL | Qt::Key_Minus)},
        [this] { store_.setZoom(store_.zoom() / kZoomStep); });
    add(photo, u"Zoom to Fit"_s, {QKeySequence(Qt::CTRL | Qt::Key_0)}, [this] { store_.resetZoom(); });
    add(photo, u"Actual Size / Fit"_s, {QKeySequence(Qt::Key_Z)}, [this] {
        if (store_.zoom() > 1)
            store_.resetZoom();
        else
            store_.setZoom(store_.actualSizeZoom());
    });
    photo->addSeparator();
    add(photo, u"Full Screen Photo"_s, {QKeySequence(Qt::Key_F)}, [this] { store_.toggleImmersive(); });
    leaveFullScreen_ = add(photo, u"Leave Full Screen"_s, {QKeySequence(Qt::Key_Escape)}, [this] {
        if (store_.isImmersive())
            store_.toggleImmersive();
    });
    photo->addSeparator();
    // The Command-Delete key, and the plain Delete key other Linux viewers use.
    add(photo, u"Move to Trash"_s, {QKeySequence(Qt::CTRL | Qt::Key_Backspace), QKeySequence(Qt::Key_Delete)},
        [this] { store_.trashCurrent(); });

    QMenu* look = bar->addMenu(u"Look"_s);
    add(look, u"Next Look"_s, {QKeySequence(Qt::Key_Down)}, [this] { store_.cycleLook(1); });
    add(look, u"Previous Look"_s, {QKeySequence(Qt::Key_Up)}, [this] { store_.cycleLook(-1); });
    look->addSeparator();
    for (Look each : kLooks) {
        add(look, title(each), {QKeySequence(QString(shortcutDigit(each)))},
            [this, each] { store_.selectLook(each); });
    }
    look->addSeparator();
    add(look, u"Reset Edit"_s, {QKeySequence(Qt::Key_0)}, [this] { store_.resetEdit(); });
    add(look, u"Show or Hide Edits"_s, {QKeySequence(Qt::Key_E)},
        [this] { store_.setEditPanelShown(!store_.isEditPanelShown()); });

    QMenu* help = bar->addMenu(u"&Help"_s);
    QAction* about = add(help, u"About Zorva Viewer"_s, {}, [this] {
        QMessageBox::about(&window_, u"About Zorva Viewer"_s,
                           u"Zorva Viewer "_s + QString::fromLatin1(ZV_VERSION) +
                               u"\nA fast viewer for the photos of a Zorva camera."_s);
    });
    about->setMenuRole(QAction::AboutRole);
    add(help, u"Check for Updates\u2026"_s, {}, [this] { store_.updater().check(); });

    connect(&store_, &ViewerStore::isImmersiveChanged, this, &PhotoCommands::updateLeaveFullScreen);
    connect(&store_, &ViewerStore::stageModeChanged, this, &PhotoCommands::updateLeaveFullScreen);
    updateLeaveFullScreen();
}

QAction* PhotoCommands::add(QMenu* menu, const QString& text, const QList<QKeySequence>& keys,
                            std::function<void()> trigger) {
    auto* action = new QAction(text, menu);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [trigger = std::move(trigger)] { trigger(); });
    menu->addAction(action);
    window_.addAction(action);
    actions_.append(action);
    return action;
}

void PhotoCommands::updateLeaveFullScreen() {
    leaveFullScreen_->setEnabled(store_.isImmersive());
    // While a crop frame is drawn, Escape belongs to the crop bar's Cancel.
    leaveFullScreen_->setShortcut(store_.stageMode().isCropping() ? QKeySequence()
                                                                  : QKeySequence(Qt::Key_Escape));
}

QAction* PhotoCommands::action(const QString& text) const {
    for (QAction* action : actions_) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}
