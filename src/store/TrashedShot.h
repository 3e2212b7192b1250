#pragma once

#include "PhotoSource.h"

#include "card/Shot.h"

#include <QList>
#include <QString>

// One file moved to the Trash, with the place the Trash gave it.
struct TrashMove {
    QString original;
    QString inTrash;
    bool operator==(const TrashMove&) const = default;
};

// What it takes to undo one trash: the shot, its place in the list and its moved files.
struct TrashedShot {
    Shot shot;
    int index = 0;
    QList<TrashMove> moves;
    // The source of the list the shot was trashed from: undo puts the shot
    // back into the list only while that list is on screen.
    PhotoSource source;

    bool operator==(const TrashedShot&) const = default;
};
