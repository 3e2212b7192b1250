// Edit and crop state of ViewerStore: the per-shot edits, looks, and crop mode.

#include "ViewerStore.h"

#include <algorithm>

Edit ViewerStore::currentEdit() const {
    const std::optional<Shot> shot = currentShot();
    return shot ? edits_.value(shot->id, Edit{}) : Edit{};
}

void ViewerStore::setCurrentEdit(const Edit& edit) {
    const std::optional<Shot> shot = currentShot();
    if (!shot)
        return;
    const bool changed = currentEdit() != edit;
    edits_.insert(shot->id, edit);
    if (changed)
        Q_EMIT currentEditChanged();
    refreshDisplay();
}

void ViewerStore::selectLook(Look look) {
    if (!currentShot())
        return;
    Edit edit = currentEdit();
    edit.look = look;
    setCurrentEdit(edit);
    showLookBanner(look);
}

void ViewerStore::cycleLook(int step) {
    const auto found = std::find(kLooks.begin(), kLooks.end(), currentEdit().look);
    const int position = found == kLooks.end() ? 0 : static_cast<int>(found - kLooks.begin());
    const int count = static_cast<int>(kLooks.size());
    selectLook(kLooks[static_cast<size_t>(((position + step) % count + count) % count)]);
}

void ViewerStore::resetEdit() {
    if (!currentShot() || currentEdit().isUnchanged())
        return;
    setCurrentEdit(Edit{});
    showLookBanner(Look::natural);
}

void ViewerStore::startCrop() {
    if (!currentShot() || stageMode_.isCropping())
        return;
    resetZoom();
    const std::optional<UnitRect> crop = currentEdit().crop;
    setStageMode(StageMode::cropping(crop));
    setCropDraft(crop.value_or(UnitRect::whole()));
    setCropAspectValue(CropAspect::free);
    setEditPanelShown(true);
    refreshDisplay();
}

void ViewerStore::finishCrop() {
    if (!stageMode_.isCropping())
        return;
    setStageMode(StageMode::viewing());
    // A draft that covers practically the whole photo removes the crop.
    std::optional<UnitRect> crop = cropDraft_;
    if (cropDraft_.width > kWholeImageCrop && cropDraft_.height > kWholeImageCrop)
        crop.reset();
    Edit edit = currentEdit();
    if (!currentShot() || crop == edit.crop) {
        refreshDisplay();
        return;
    }
    edit.crop = crop;
    setCurrentEdit(edit);
}

void ViewerStore::cancelCrop() {
    if (!stageMode_.isCropping())
        return;
    const std::optional<UnitRect> previous = stageMode_.previous;
    setStageMode(StageMode::viewing());
    Edit edit = currentEdit();
    if (!currentShot() || previous == edit.crop) {
        refreshDisplay();
        return;
    }
    // Undoes a crop removal made during crop mode, by Reset for example.
    edit.crop = previous;
    setCurrentEdit(edit);
}

std::optional<double> ViewerStore::cropUnitRatio() const {
    if (displayedImage_.isNull() || displayedImage_.height() <= 0)
        return std::nullopt;
    const double imageRatio = double(displayedImage_.width()) / double(displayedImage_.height());
    const std::optional<double> aspect = ratio(cropAspect_, imageRatio);
    if (!aspect)
        return std::nullopt;
    return *aspect / imageRatio;
}

void ViewerStore::setCropAspect(CropAspect aspect) {
    setCropAspectValue(aspect);
    const std::optional<double> r = cropUnitRatio();
    if (!r)
        return;
    // Shrink one side about the centre: the draft stays inside the photo.
    double width = cropDraft_.width;
    double height = cropDraft_.height;
    if (width / height > *r)
        width = height * *r;
    else
        height = width / *r;
    setCropDraft(UnitRect{cropDraft_.midX() - width / 2, cropDraft_.midY() - height / 2, width, height});
}

void ViewerStore::resetCropDraft() {
    const std::optional<double> r = cropUnitRatio();
    if (!r) {
        setCropDraft(UnitRect::whole());
        return;
    }
    const double width = *r < 1 ? *r : 1.0;
    const double height = *r < 1 ? 1.0 : 1.0 / *r;
    setCropDraft(UnitRect{0.5 - width / 2, 0.5 - height / 2, width, height});
}
