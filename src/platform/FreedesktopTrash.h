#pragma once

#include "Trash.h"

// The freedesktop.org Trash: the home Trash for files on the home volume, the
// volume's own .Trash-UID folder for files on a card. Restoring renames the file
// back on the same volume; across volumes it copies, verifies the copy byte for
// byte, and only then removes the Trash copy. The file's .trashinfo record is
// removed with it, so the file manager shows no ghost entry.
class FreedesktopTrash final : public Trash {
public:
    std::expected<std::optional<QString>, QString> moveToTrash(const QString& path) override;
    std::expected<void, QString> restore(const QString& inTrash, const QString& original) override;

    // Moves `from` to `to` without ever replacing a file at `to`; across file
    // systems it copies, verifies and removes. Also used for files outside the Trash.
    static std::expected<void, QString> moveNoReplace(const QString& from, const QString& to);
};
