// Trash with undo, permanent delete, saving an edited copy, toasts and the look
// banner of ViewerStore.

#include "ViewerStore.h"

#include "platform/Background.h"
#include "platform/FileReveal.h"
#include "platform/Observable.h"
#include "platform/Trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

// Moves files back from the Trash in order; a failed move is passed over and
// the file stays safe in the Trash.
void restore(Trash* trash, const QList<TrashMove>& moves) {
    for (const TrashMove& move : moves)
        (void)trash->restore(move.inTrash, move.original);
}

bool sameShot(const Shot& shot, const std::optional<Shot>& other) {
    return other && other->id == shot.id;
}

} // namespace

void ViewerStore::trashCurrent() {
    const std::optional<Shot> shot = currentShot();
    if (!shot || !services_.trash)
        return;
    // A crop frame drawn on this photo must not be committed to the next one.
    if (stageMode_.isCropping())
        cancelCrop();

    QList<TrashMove> moves;
    for (const QString& file : shot->files.all()) {
        const std::expected<std::optional<QString>, QString> moved = services_.trash->moveToTrash(file);
        if (!moved) {
            // Never leave a pair half in the Trash; offer a permanent delete instead.
            restore(services_.trash, moves);
            setPermanentDeleteCandidate(shot);
            return;
        }
        if (moved->has_value())
            moves.append({file, **moved});
    }
    for (const QString& file : shot->files.all())
        goneDuringScan_.insert(file);
    const int index = currentIndex_;
    // The list on screen, which is not the library's source while a newer open scans.
    const PhotoSource source = shotsSource_;
    remove(*shot);
    present(Toast::make(u"Moved "_s + shot->name + u" to the Trash"_s,
                        ToastAction::undoTrash(TrashedShot{*shot, index, moves, source})));
}

void ViewerStore::remove(const Shot& shot) {
    renderer_.forget(shot.files.all());
    QList<Shot> remaining = shots_;
    remaining.removeIf([&](const Shot& s) { return s.id == shot.id; });
    const int index = std::min(currentIndex_, std::max(0, int(remaining.size()) - 1));
    // A crop frame drawn on one photo must not be committed to another.
    if (stageMode_.isCropping() && !sameShot(remaining.value(index), currentShot()))
        cancelCrop();
    setObservable(this, shots_, remaining, &ViewerStore::shotsChanged);
    edits_.remove(shot.id);
    setObservable(this, currentIndex_, index, &ViewerStore::currentIndexChanged);
    // While a newer open scans, the library stays in its scanning state.
    if (shots_.isEmpty() && library_.state == Library::State::loaded)
        setLibrary(Library::empty(library_.source));
    Q_EMIT currentEditChanged();
    refreshDisplay();
}

void ViewerStore::undoLastTrash() {
    if (toast_ && toast_->action && toast_->action->kind == ToastAction::Kind::undoTrash)
        perform(*toast_->action);
}

void ViewerStore::undoTrash(const TrashedShot& trashed) {
    if (services_.trash)
        restore(services_.trash, trashed.moves);
    for (const TrashMove& move : trashed.moves)
        goneDuringScan_.remove(move.original);
    // The files always come back; the shot rejoins the list only while the
    // list it was trashed from is on screen, never a list of another card or folder.
    if (trashed.source != shotsSource_)
        return;
    const auto present =
        std::find_if(shots_.begin(), shots_.end(), [&](const Shot& s) { return s.id == trashed.shot.id; });
    int index = int(present - shots_.begin());
    // The restored shot becomes current: a crop frame drawn on another photo
    // must not be committed to it.
    if (stageMode_.isCropping() && !sameShot(trashed.shot, currentShot()))
        cancelCrop();
    if (present == shots_.end()) {
        index = std::min(trashed.index, int(shots_.size()));
        QList<Shot> restored = shots_;
        restored.insert(index, trashed.shot);
        setObservable(this, shots_, restored, &ViewerStore::shotsChanged);
    }
    if (library_.state == Library::State::empty)
        setLibrary(Library::loaded(library_.source));
    setObservable(this, currentIndex_, index, &ViewerStore::currentIndexChanged);
    Q_EMIT currentEditChanged();
    refreshDisplay();
}

void ViewerStore::deletePermanently(const Shot& shot) {
    QStringList deleted;
    for (const QString& path : shot.files.all()) {
        QFile file(path);
        if (file.remove()) {
            deleted.append(path);
            goneDuringScan_.insert(path);
            continue;
        }
        QString message = u"Couldn't delete "_s + shot.name + u": "_s + file.errorString();
        if (!deleted.isEmpty()) {
            // The JPEG is gone for good and the RAW stays: say so, and list the
            // shot with the file it still has.
            message += u". "_s + QFileInfo(deleted.first()).fileName() + u" was deleted; "_s +
                       QFileInfo(path).fileName() + u" was not."_s;
            keepOnly(shot, ShotFiles::rawOnly(path));
        }
        present(Toast::make(message));
        return;
    }
    remove(shot);
    present(Toast::make(u"Deleted "_s + shot.name));
}

void ViewerStore::keepOnly(const Shot& shot, const ShotFiles& files) {
    renderer_.forget(shot.files.all());
    QList<Shot> listed = shots_;
    for (Shot& s : listed) {
        if (s.id == shot.id)
            s.files = files;
    }
    if (listed == shots_)
        return;
    const bool current = sameShot(shot, currentShot());
    setObservable(this, shots_, listed, &ViewerStore::shotsChanged);
    if (current)
        refreshDisplay();
}

void ViewerStore::saveCopy() {
    const std::optional<Shot> shot = currentShot();
    if (!shot)
        return;
    const ShotFormat format = shot->displayFormat(preferredFormat_);
    if (isSaving_)
        return;
    // The edit as it is now; during crop mode that is the crop from before it.
    const Edit edit = currentEdit();
    setSaving(true);
    const ImageRenderer* renderer = &renderer_;
    const QString folder = services_.editsFolder;
    Background::run(
        pools_.userInitiated(),
        [renderer, shot = *shot, format, edit, folder] {
            return renderer->exportCopy(shot, format, edit, folder);
        },
        this,
        [this](const std::expected<QString, RenderError>& saved) {
            setSaving(false);
            spareMemoryTimer_.start(scaledMs(kSpareMemoryDelay));
            if (saved) {
                present(
                    Toast::make(u"Saved "_s + QFileInfo(*saved).fileName() + u" to "_s + editsFolderLabel(),
                                ToastAction::showInFinder(*saved)));
            } else {
                present(Toast::make(u"Couldn't save: "_s + saved.error().description()));
            }
        });
}

QString ViewerStore::editsFolderLabel() const {
    const QDir edits(services_.editsFolder);
    const QString pictures = QFileInfo(edits.absolutePath()).absoluteDir().dirName();
    return pictures + u" \u203A "_s + edits.dirName();
}

void ViewerStore::present(const Toast& toast) {
    setToast(toast);
    presentedToastId_ = toast.id;
    // Each toast gets its own full time, whatever it replaced.
    toastTimer_.start(scaledMs(kToastDuration));
}

void ViewerStore::perform(const ToastAction& requested) {
    // The action usually lives in the toast that is about to go.
    const ToastAction action = requested;
    setToast(std::nullopt);
    switch (action.kind) {
    case ToastAction::Kind::undoTrash:
        undoTrash(action.trashed);
        break;
    case ToastAction::Kind::showInFinder:
        if (services_.reveal)
            services_.reveal->reveal(action.url);
        break;
    case ToastAction::Kind::restartForUpdate:
        updater_->restart();
        break;
    }
}

void ViewerStore::showLookBanner(Look look) {
    setLookBanner(look);
    lookBannerTimer_.start(scaledMs(kLookBannerDuration));
}
