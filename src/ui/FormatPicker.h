#pragma once

#include "card/ShotFormat.h"

#include <QWidget>

class QButtonGroup;
class QToolButton;
class ViewerStore;

// The toolbar's "Format" switch: JPEG and RAW as two joined buttons, enabled
// when the current shot has both files. Shows the format on the stage; a click
// makes that format the preferred one and refreshes the display.
class FormatPicker : public QWidget {
    Q_OBJECT
public:
    explicit FormatPicker(ViewerStore& store, QWidget* parent = nullptr);

    QToolButton* button(ShotFormat format) const;
    // The tooltip: what the switch does for the current shot.
    static QString formatHelp(const ViewerStore& store);

    static constexpr int kWidth = 130;

private:
    void update();
    void choose(ShotFormat format);

    ViewerStore& store_;
    QButtonGroup* group_;
};
