#pragma once

#include "StageImageConverter.h"

#include <QWidget>

class EditPanel;
class Fader;
class Filmstrip;
class PhotoStage;
class QPropertyAnimation;
class ThumbnailLoader;
class ToastView;
class ViewerStore;

// The window's content: the stage over the filmstrip, the edit panel beside
// them, and the toast floating at the bottom centre. Follows the store.
class ContentView : public QWidget {
    Q_OBJECT
public:
    ContentView(ViewerStore& store, ThumbnailLoader& thumbnails, StageImageConverter::Convert convert,
                QWidget* parent = nullptr);

    PhotoStage* stage() const { return stage_; }
    Filmstrip* filmstrip() const { return filmstrip_; }
    ToastView* toastView() const { return toast_; }
    EditPanel* editPanel() const { return editPanel_; }
    // Where the toast rests: centred, 108 points above the bottom over a
    // filmstrip, 24 points without one.
    QRect toastRestingGeometry() const;

    static constexpr int kToastMs = 200;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateVisibility();
    void toastChanged();
    void placeToast(bool animated);

    ViewerStore& store_;
    PhotoStage* stage_;
    Filmstrip* filmstrip_;
    QWidget* divider_;
    EditPanel* editPanel_;
    ToastView* toast_;
    Fader* toastFader_;
    QPropertyAnimation* toastSlide_;
};
