#pragma once

// The four adjustment values of an edit. Not clamped: the sliders offer
// exposure -2..2 EV, contrast 0.5..1.5, saturation 0..2 and warmth -1..1.
struct Adjustments {
    double exposure = 0;   // stops
    double contrast = 1;   // factor
    double saturation = 1; // factor
    double warmth = 0;     // -1 cool .. +1 warm

    bool operator==(const Adjustments&) const = default;
};
