#pragma once

#include <QString>

#include <array>

// The two file kinds of a shot, in their order of declaration.
enum class ShotFormat { jpeg, raw };

inline constexpr std::array<ShotFormat, 2> kShotFormats{ShotFormat::jpeg, ShotFormat::raw};

// The format's label wherever the interface names it: "JPEG" or "RAW".
inline QString rawValue(ShotFormat format) {
    return format == ShotFormat::jpeg ? QStringLiteral("JPEG") : QStringLiteral("RAW");
}
