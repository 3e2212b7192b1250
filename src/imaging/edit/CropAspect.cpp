#include "CropAspect.h"

namespace {
struct AspectNames {
    QStringView rawValue;
    QStringView label;
};
constexpr AspectNames kNames[] = {
    {u"free", u"Free"},       {u"original", u"Original"}, {u"square", u"1:1"},
    {u"portrait4x5", u"4:5"}, {u"landscape3x2", u"3:2"},  {u"wide16x9", u"16:9"},
};
} // namespace

QString rawValue(CropAspect aspect) {
    return kNames[static_cast<int>(aspect)].rawValue.toString();
}

std::optional<CropAspect> cropAspectFromRawValue(QStringView rawValue) {
    for (CropAspect aspect : kCropAspects) {
        if (kNames[static_cast<int>(aspect)].rawValue == rawValue)
            return aspect;
    }
    return std::nullopt;
}

QString label(CropAspect aspect) {
    return kNames[static_cast<int>(aspect)].label.toString();
}

std::optional<double> ratio(CropAspect aspect, double imageRatio) {
    switch (aspect) {
    case CropAspect::free:
        return std::nullopt;
    case CropAspect::original:
        return imageRatio;
    case CropAspect::square:
        return 1.0;
    case CropAspect::portrait4x5:
        return 0.8;
    case CropAspect::landscape3x2:
        return 1.5;
    case CropAspect::wide16x9:
        return 16.0 / 9.0;
    }
    return std::nullopt;
}
