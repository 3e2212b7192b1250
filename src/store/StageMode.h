#pragma once

#include "imaging/edit/UnitRect.h"

#include <optional>

// Viewing the photo, or drawing a crop frame over it. While cropping, `previous`
// is the crop the edit had when crop mode began (nothing if it had none).
struct StageMode {
    enum class Case { cropping, viewing };

    Case mode = Case::viewing;
    std::optional<UnitRect> previous;

    static StageMode cropping(std::optional<UnitRect> previous) { return {Case::cropping, previous}; }
    static StageMode viewing() { return {}; }
    bool isCropping() const { return mode == Case::cropping; }

    bool operator==(const StageMode&) const = default;
};
