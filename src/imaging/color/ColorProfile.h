#pragma once

#include "Matrix3.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <memory>
#include <optional>

// An ICC colour profile, held by lcms2. Made from an embedded profile's
// bytes or built for Display P3 and sRGB; tells whether it is a simple
// matrix-and-curves profile and, if so, its curves and its matrix into linear
// Display P3, which the pixel kernels apply much faster than a general
// transform. Immutable and shared; any thread.
class ColorProfile {
public:
    static ColorProfile displayP3();
    static ColorProfile srgb();
    // Nothing for bytes that are not an RGB or grey ICC profile.
    static std::optional<ColorProfile> fromIcc(QByteArrayView icc);

    // The profile as ICC bytes, for embedding in a file.
    QByteArray iccBytes() const;

    // RGB (or grey) curves and colorants, no lookup tables.
    bool isMatrixShaper() const;
    bool isGray() const;
    // Curves of a matrix-shaper profile: encoded value at i / 255 to linear light.
    std::array<std::array<float, 256>, 3> decodeCurves() const;
    // Linear light in [0, 1] to encoded value, the inverse of the curve of channel c.
    double encode(int channel, double linear) const;
    // Linear values of this profile to linear Display P3 (identity for grey).
    Matrix3 toDisplayP3() const;

    // The lcms2 handle (cmsHPROFILE), for building transforms.
    void* handle() const { return profile_.get(); }

private:
    struct Curves;
    explicit ColorProfile(void* handle);
    std::shared_ptr<void> profile_;
    std::shared_ptr<Curves> inverse_;
};
