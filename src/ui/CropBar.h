#pragma once

#include <QWidget>

class QButtonGroup;
class QPushButton;
class ViewerStore;

// The bar at the foot of the stage while cropping: the aspect picker, Reset,
// Cancel (Escape) and Done (Return).
class CropBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 72;
    static constexpr int kPickerWidth = 340;

    explicit CropBar(ViewerStore& store, QWidget* parent = nullptr);

    QPushButton* segment(int index) const;
    QPushButton* doneButton() const { return done_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* resetButton() const { return reset_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    ViewerStore& store_;
    QButtonGroup* aspects_;
    QPushButton* reset_;
    QPushButton* cancel_;
    QPushButton* done_;
};
