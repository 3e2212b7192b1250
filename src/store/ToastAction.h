#pragma once

#include "TrashedShot.h"

#include <QString>

// The one button a toast may offer.
struct ToastAction {
    enum class Kind { undoTrash, showInFinder, restartForUpdate };

    Kind kind = Kind::restartForUpdate;
    TrashedShot trashed; // undoTrash
    QString url;         // showInFinder

    static ToastAction undoTrash(TrashedShot trashed) { return {Kind::undoTrash, std::move(trashed), {}}; }
    static ToastAction showInFinder(QString url) { return {Kind::showInFinder, {}, std::move(url)}; }
    static ToastAction restartForUpdate() { return {}; }

    bool operator==(const ToastAction&) const = default;
};
