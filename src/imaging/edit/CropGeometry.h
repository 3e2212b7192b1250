#pragma once

#include "UnitRect.h"

#include <array>
#include <optional>

// The crop frame's geometry while a corner is dragged. Pure functions.
class CropGeometry {
public:
    enum class Corner { topLeft, topRight, bottomLeft, bottomRight };
    static constexpr std::array<Corner, 4> kCorners{Corner::topLeft, Corner::topRight, Corner::bottomLeft,
                                                    Corner::bottomRight};

    // Each side of a resized frame is at least this share of the image side.
    static constexpr double kMinimumSide = 0.04;

    // The frame after `corner` was dragged by (dx, dy) unit coordinates from
    // `rect`; the opposite corner stays put. With a ratio (unit width / height)
    // the frame keeps it by shrinking one side. Never flips, never leaves the image.
    static UnitRect resized(const UnitRect& rect, Corner corner, double dx, double dy,
                            std::optional<double> ratio);
};
