#include "ColorProfile.h"

#include "ColorMath.h"

#include <lcms2.h>

#include <mutex>

struct ColorProfile::Curves {
    std::mutex mutex;
    std::array<cmsToneCurve*, 3> inverse{};
    ~Curves() {
        for (cmsToneCurve* c : inverse) {
            if (c)
                cmsFreeToneCurve(c);
        }
    }
};

namespace {

cmsHPROFILE buildRgb(const ColorMath::Primaries& p, const char* description) {
    const cmsCIExyY white{p.white.x, p.white.y, 1};
    const cmsCIExyYTRIPLE primaries{
        {p.red.x, p.red.y, 1}, {p.green.x, p.green.y, 1}, {p.blue.x, p.blue.y, 1}};
    // The sRGB curve as ICC parametric type 4.
    const cmsFloat64Number parameters[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, parameters);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    if (!profile)
        return nullptr;
    cmsMLU* text = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(text, "en", "US", description);
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
    cmsMLUfree(text);
    return profile;
}

cmsToneCurve* curveOf(cmsHPROFILE profile, int channel) {
    if (cmsGetColorSpace(profile) == cmsSigGrayData)
        return static_cast<cmsToneCurve*>(cmsReadTag(profile, cmsSigGrayTRCTag));
    static const cmsTagSignature tags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    return static_cast<cmsToneCurve*>(cmsReadTag(profile, tags[channel]));
}

// Linear RGB to XYZ relative to the D50 connection space.
std::optional<Matrix3> colorants(cmsHPROFILE profile) {
    const auto* r = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, cmsSigRedColorantTag));
    const auto* g = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, cmsSigGreenColorantTag));
    const auto* b = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, cmsSigBlueColorantTag));
    if (!r || !g || !b)
        return std::nullopt;
    return Matrix3{{r->X, g->X, b->X, r->Y, g->Y, b->Y, r->Z, g->Z, b->Z}};
}

} // namespace

ColorProfile::ColorProfile(void* handle)
    : profile_(handle, [](void* p) { cmsCloseProfile(p); })
    , inverse_(std::make_shared<Curves>()) {}

ColorProfile ColorProfile::displayP3() {
    static const ColorProfile profile(buildRgb(ColorMath::kDisplayP3, "Display P3"));
    return profile;
}

ColorProfile ColorProfile::srgb() {
    static const ColorProfile profile(buildRgb(ColorMath::kSrgb, "sRGB"));
    return profile;
}

std::optional<ColorProfile> ColorProfile::fromIcc(QByteArrayView icc) {
    if (icc.isEmpty())
        return std::nullopt;
    cmsHPROFILE handle = cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
    if (!handle)
        return std::nullopt;
    const cmsColorSpaceSignature space = cmsGetColorSpace(handle);
    if (space != cmsSigRgbData && space != cmsSigGrayData) {
        cmsCloseProfile(handle);
        return std::nullopt;
    }
    return ColorProfile(handle);
}

QByteArray ColorProfile::iccBytes() const {
    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(handle(), nullptr, &size) || size == 0)
        return {};
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    if (!cmsSaveProfileToMem(handle(), bytes.data(), &size))
        return {};
    return bytes;
}

bool ColorProfile::isGray() const {
    return cmsGetColorSpace(handle()) == cmsSigGrayData;
}

bool ColorProfile::isMatrixShaper() const {
    if (!cmsIsMatrixShaper(handle()))
        return false;
    for (int c = 0; c < 3; ++c) {
        if (!curveOf(handle(), c))
            return false;
    }
    return isGray() || colorants(handle()).has_value();
}

std::array<std::array<float, 256>, 3> ColorProfile::decodeCurves() const {
    std::array<std::array<float, 256>, 3> tables{};
    for (int c = 0; c < 3; ++c) {
        const cmsToneCurve* curve = curveOf(handle(), c);
        for (int i = 0; i < 256; ++i)
            tables[size_t(c)][size_t(i)] =
                curve ? cmsEvalToneCurveFloat(curve, float(i) / 255.0f) : float(i) / 255.0f;
    }
    return tables;
}

double ColorProfile::encode(int channel, double linear) const {
    std::lock_guard lock(inverse_->mutex);
    cmsToneCurve*& inverse = inverse_->inverse[size_t(channel)];
    if (!inverse) {
        if (const cmsToneCurve* curve = curveOf(handle(), channel))
            inverse = cmsReverseToneCurve(curve);
    }
    return inverse ? cmsEvalToneCurveFloat(inverse, float(linear)) : linear;
}

Matrix3 ColorProfile::toDisplayP3() const {
    if (isGray())
        return Matrix3::identity();
    const auto source = colorants(handle());
    const auto p3 = colorants(displayP3().handle());
    if (!source || !p3)
        return Matrix3::identity();
    return p3->inverted() * *source;
}
