#pragma once

#include "Matrix3.h"

#include <array>

// The colour science the imaging layer is built on: the sRGB transfer curve
// (shared by sRGB and Display P3), the two spaces' primaries, chromatic
// adaptation and the colour of light by temperature. All in double precision;
// the pixel kernels take their constants from here.
namespace ColorMath {

struct Chromaticity {
    double x = 0;
    double y = 0;
};

struct Primaries {
    Chromaticity red, green, blue, white;
};

inline constexpr Chromaticity kD65{0.3127, 0.3290};
inline constexpr Primaries kDisplayP3{{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, kD65};
inline constexpr Primaries kSrgb{{0.640, 0.330}, {0.300, 0.600}, {0.150, 0.060}, kD65};

// Encoded value to linear light and back. Extended to all reals by symmetry
// about zero, so out-of-gamut and over-bright values survive a round trip.
double decode(double encoded);
double encode(double linear);

// Linear RGB to CIE XYZ (white at Y = 1) for the given primaries.
Matrix3 rgbToXyz(const Primaries& primaries);
Matrix3 displayP3ToXyz();
Matrix3 srgbToDisplayP3();
Matrix3 displayP3ToSrgb();

// Luminance weights of linear Display P3: the Y row of displayP3ToXyz(),
// about (0.2290, 0.6917, 0.0793).
std::array<double, 3> displayP3Luma();

// XYZ (Y = 1) of a chromaticity.
std::array<double, 3> xyzOf(Chromaticity c);

// The white of a light of `kelvin` (clamped to 1667..25000): the CIE
// daylight locus from 4000 K up, the Planckian locus below. `tint` moves it
// off the locus along the locus normal in CIE 1960 uv, in units of 1/3000 uv
// (positive is magenta, negative green); 0 stays on the locus.
Chromaticity whiteOfTemperature(double kelvin, double tint = 0);

// Bradford adaptation in linear Display P3 that turns the white `from` into
// the white `to`.
Matrix3 adaptation(Chromaticity from, Chromaticity to);

} // namespace ColorMath
