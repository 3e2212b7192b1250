#pragma once

#include <QString>

#include <expected>
#include <optional>

// The desktop's Trash. Moving answers where the file went (nothing when the
// Trash does not say), or the reason it cannot take the file: a card that is
// read-only, or whose root the user cannot write, has no Trash.
class Trash {
public:
    virtual ~Trash() = default;
    virtual std::expected<std::optional<QString>, QString> moveToTrash(const QString& path) = 0;
    // Moves a trashed file back to where it was. Never overwrites a file that
    // is there now and never loses the file: on failure it stays in the Trash.
    virtual std::expected<void, QString> restore(const QString& inTrash, const QString& original) = 0;
};
