#pragma once

#include "platform/FolderChooser.h"

class QWidget;

// The desktop's folder dialog, modal over the viewer's window, accept button "Open".
class DialogFolderChooser final : public FolderChooser {
public:
    explicit DialogFolderChooser(QWidget* parent = nullptr)
        : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    std::optional<QString> chooseFolder() override;

private:
    QWidget* parent_;
};
