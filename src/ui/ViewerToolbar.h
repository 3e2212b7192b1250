#pragma once

#include <QToolBar>

class CastMenu;
class FormatPicker;
class QToolButton;
class ViewerStore;

// The window's toolbar: the JPEG/RAW switch in the centre, and at the trailing
// end the TV menu, the edit-panel toggle and Move to Trash. Follows the store.
class ViewerToolbar : public QToolBar {
    Q_OBJECT
public:
    explicit ViewerToolbar(ViewerStore& store, QWidget* parent = nullptr);

    FormatPicker* formatPicker() const { return picker_; }
    CastMenu* castMenu() const { return castMenu_; }
    QToolButton* editButton() const { return edit_; }
    QToolButton* trashButton() const { return trash_; }

private:
    void update();

    ViewerStore& store_;
    FormatPicker* picker_;
    CastMenu* castMenu_;
    QToolButton* edit_;
    QToolButton* trash_;
};
