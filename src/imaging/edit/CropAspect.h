#pragma once

#include <QString>

#include <array>
#include <optional>

// The aspect constraints of the crop frame, in the crop bar's order.
enum class CropAspect { free, original, square, portrait4x5, landscape3x2, wide16x9 };

inline constexpr std::array<CropAspect, 6> kCropAspects{CropAspect::free,         CropAspect::original,
                                                        CropAspect::square,       CropAspect::portrait4x5,
                                                        CropAspect::landscape3x2, CropAspect::wide16x9};

QString rawValue(CropAspect aspect);
std::optional<CropAspect> cropAspectFromRawValue(QStringView rawValue);
// "Free", "Original", "1:1", "4:5", "3:2", "16:9".
QString label(CropAspect aspect);
// Width / height on screen; nothing for free. `original` is the image's own ratio.
std::optional<double> ratio(CropAspect aspect, double imageRatio);
