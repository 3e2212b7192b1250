#pragma once

// Imaging, edit part: the edit model. Looks, adjustments, the crop and its
// aspects and geometry, the named filters and the rectangle types. An edit
// only describes work on the lazy image; it decodes and renders nothing. Uses
// the lazy image and the colour chain as values, and colour maths.

#include "Adjustments.h"
#include "Look.h"
#include "UnitRect.h"
#include "imaging/render/Image.h"

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

    // The edited image: the look, then exposure, contrast and saturation,
    // warmth, each skipped when neutral, then the crop (rounded outwards to
    // whole pixels) moved to the origin. An unchanged edit returns `image`
    // itself. Only describes work; nothing is rendered.
    Image apply(const Image& image) const;

    bool operator==(const Edit&) const = default;
};
