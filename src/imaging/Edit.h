#pragma once

#include "Adjustments.h"
#include "Look.h"
#include "UnitRect.h"

#include <optional>

// The non-destructive edit of one shot: a look, four adjustments and an
// optional crop in unit coordinates of the uncropped image.
struct Edit {
    Look look = Look::natural;
    Adjustments adjustments;
    std::optional<UnitRect> crop;

    // Natural look, neutral adjustments and no crop (exact comparisons); a crop
    // of the whole unit square still counts as a change.
    bool isUnchanged() const { return look == Look::natural && adjustments == Adjustments{} && !crop; }

    bool operator==(const Edit&) const = default;
};
