#pragma once

#include "imaging/color/ColorChain.h"

#include <QStringView>
#include <QVariantMap>

#include <optional>

// The named filters of the lazy image and exactly what each does. All work
// on the Display P3 working image; "linear" means light after removing the
// sRGB transfer curve, "encoded" means with it. Luminance is
// Y = 0.2290 R + 0.6917 G + 0.0793 B of linear Display P3.
//
// CIExposureAdjust {inputEV = 0}: linear RGB times 2^EV.
// CIColorControls {inputSaturation = 1, inputBrightness = 0, inputContrast = 1}:
//   linear RGB mixed with its luminance, Y + s (RGB - Y); then encoded
//   values e become (e + brightness - 0.5) x contrast + 0.5.
// CIVibrance {inputAmount = 0}: linear RGB mixed with its luminance by
//   1 + amount x (1 - S), S = (max - min) / max: weak colours gain most,
//   greys stay grey.
// CITemperatureAndTint {inputNeutral = (6500, 0), inputTargetNeutral = (6500, 0)}:
//   Bradford adaptation in linear light from the white of the neutral
//   (temperature, tint) to the white of the target (see ColorMath).
// CILanczosScaleTransform {inputScale = 1, inputAspectRatio = 1}: Lanczos-3
//   resampling by scale x aspect across and scale down.
// The photo effects, fixed transforms (curves act on encoded values in [0, 1]):
//   CIPhotoEffectMono: luminance as grey.
//   CIPhotoEffectNoir: luminance as grey through an S-curve of slope 1.66.
//   CIPhotoEffectChrome: saturation 1.2, then an S-curve of slope 1.2.
//   CIPhotoEffectFade: saturation 0.7, then e -> 0.10 + 0.82 e (black lifted).
//   CIPhotoEffectTransfer: saturation 0.85, warm gains (1.08, 1, 0.82), then
//     e -> 0.04 + 0.93 e.
//   CIPhotoEffectProcess: cool gains (0.90, 1.02, 1.12), then a red S-curve
//     and lifted blue shadows, e -> 0.06 + 0.94 e.
class NamedFilter {
public:
    struct Effect {
        ColorChain chain;             // a colour filter
        std::optional<double> scaleX; // a Lanczos scale (both set)
        std::optional<double> scaleY;
    };

    // Nothing for an unknown name or a parameter of the wrong type.
    static std::optional<Effect> make(QStringView name, const QVariantMap& parameters);
};
