#pragma once

#include "imaging/render/Image.h"

#include <QString>

#include <array>
#include <optional>

// One of the eight looks, in their order of declaration (which is also the
// order of cycling and of the shortcut digits 1 to 8).
enum class Look { natural, mono, noir, chrome, vivid, fade, warm, cool };

inline constexpr std::array<Look, 8> kLooks{Look::natural, Look::mono, Look::noir, Look::chrome,
                                            Look::vivid,   Look::fade, Look::warm, Look::cool};

QString rawValue(Look look);
std::optional<Look> lookFromRawValue(QStringView rawValue);
QString title(Look look);
// The look's position counting from 1, as one character: '1' for natural, '8' for cool.
QChar shortcutDigit(Look look);
// The image with the look's filter (natural returns `image` itself).
Image apply(Look look, const Image& image);
