#pragma once

#include "imaging/edit/Adjustments.h"

#include <QScrollArea>

#include <functional>

class AdjustmentSlider;
class LookButton;
class QLabel;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;
class ViewerStore;

// The side panel of looks, crop and adjustments, with Reset and Save Copy. It
// shows the current shot's edit and changes it through the store; it keeps no
// edit of its own. Sliders write the edit continuously while dragged.
class EditPanel : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int kWidth = 280;

    explicit EditPanel(ViewerStore& store, QWidget* parent = nullptr);

    QPushButton* cropButton() const { return crop_; }
    QPushButton* removeCropButton() const { return removeCrop_; }
    QPushButton* resetButton() const { return reset_; }
    QPushButton* saveButton() const { return save_; }
    AdjustmentSlider* slider(const QString& title) const;
    LookButton* lookButton(const QString& title) const;
    bool isShowingSaveProgress() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Tightens the spacing between groups until the whole panel fits its
    // height; it scrolls only when even the tightest spacing does not fit.
    void fitSpacing();
    void refresh();
    void edit(const std::function<void(Adjustments&)>& change);

    ViewerStore& store_;
    QList<LookButton*> looks_;
    QList<AdjustmentSlider*> sliders_;
    QPushButton* crop_;
    QPushButton* removeCrop_;
    QPushButton* reset_;
    QPushButton* save_;
    QStackedWidget* saveFace_;
    QVBoxLayout* column_ = nullptr;
};
