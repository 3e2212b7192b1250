#pragma once

#include <QString>

#include <optional>

// Asks the user for a folder, modally; nothing when the user cancels.
class FolderChooser {
public:
    virtual ~FolderChooser() = default;
    virtual std::optional<QString> chooseFolder() = 0;
};
