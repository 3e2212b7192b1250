#include "ColorConverter.h"

#include "ColorMath.h"
#include "ColorProfile.h"
#include "imaging/pixels/ParallelRunner.h"

#include <lcms2.h>

namespace {

std::shared_ptr<void> makeTransform(const ColorProfile& from, const ColorProfile& to) {
    cmsHTRANSFORM t = cmsCreateTransform(from.handle(), TYPE_RGBA_8, to.handle(), TYPE_RGBA_8,
                                         INTENT_PERCEPTUAL, cmsFLAGS_COPY_ALPHA | cmsFLAGS_NOCACHE);
    if (!t)
        return nullptr;
    return std::shared_ptr<void>(t, [](void* p) { cmsDeleteTransform(p); });
}

ColorConverter::Source srgbSource() {
    return {ColorKernel::srgbDecode(), ColorMath::srgbToDisplayP3(), nullptr};
}

ColorConverter::Target srgbTarget() {
    return {ColorMath::displayP3ToSrgb(), ColorKernel::srgbEncode(), nullptr, QColorSpace(QColorSpace::SRgb)};
}

ColorConverter::Source sourceOf(const ColorProfile& profile) {
    if (profile.isMatrixShaper())
        return {ColorKernel::decodeTables(profile.decodeCurves()), profile.toDisplayP3(), nullptr};
    if (auto transform = makeTransform(profile, ColorProfile::displayP3()))
        return {ColorKernel::srgbDecode(), Matrix3::identity(), std::move(transform)};
    return srgbSource();
}

ColorConverter::Target targetOf(const ColorProfile& profile, const QColorSpace& space) {
    bool sameCurves = true;
    const auto curves = profile.decodeCurves();
    for (size_t i = 0; i < 256; ++i)
        sameCurves = sameCurves && curves[0][i] == curves[1][i] && curves[0][i] == curves[2][i];
    if (profile.isMatrixShaper() && !profile.isGray() && sameCurves) {
        auto encode = ColorKernel::encodeTable([&](double v) { return profile.encode(0, v); });
        // A table equal to the sRGB curve's is shared, so plans can tell.
        if (encode->values == ColorKernel::srgbEncode()->values)
            encode = ColorKernel::srgbEncode();
        return {profile.toDisplayP3().inverted(), encode, nullptr, space};
    }
    if (auto transform = makeTransform(ColorProfile::displayP3(), profile))
        return {Matrix3::identity(), ColorKernel::srgbEncode(), std::move(transform), space};
    return srgbTarget();
}

} // namespace

ColorConverter::Source ColorConverter::displayP3Source() {
    return {ColorKernel::srgbDecode(), Matrix3::identity(), nullptr};
}

ColorConverter::Target ColorConverter::displayP3Target() {
    return {Matrix3::identity(), ColorKernel::srgbEncode(), nullptr, QColorSpace(QColorSpace::DisplayP3)};
}

ColorConverter::Source ColorConverter::source(const QByteArray& icc) {
    if (icc.isEmpty())
        return srgbSource();
    std::lock_guard lock(mutex_);
    if (auto it = sources_.constFind(icc); it != sources_.constEnd())
        return *it;
    const auto profile = ColorProfile::fromIcc(icc);
    const Source result = profile ? sourceOf(*profile) : srgbSource();
    sources_.insert(icc, result);
    return result;
}

ColorConverter::Source ColorConverter::source(const QColorSpace& space) {
    if (!space.isValid() || space == QColorSpace(QColorSpace::SRgb))
        return srgbSource();
    if (space == QColorSpace(QColorSpace::DisplayP3))
        return displayP3Source();
    return source(space.iccProfile());
}

ColorConverter::Target ColorConverter::target(const QColorSpace& space) {
    if (!space.isValid() || space == QColorSpace(QColorSpace::DisplayP3))
        return displayP3Target();
    if (space == QColorSpace(QColorSpace::SRgb))
        return srgbTarget();
    const QByteArray icc = space.iccProfile();
    std::lock_guard lock(mutex_);
    if (auto it = targets_.constFind(icc); it != targets_.constEnd())
        return *it;
    const auto profile = ColorProfile::fromIcc(icc);
    const Target result = profile ? targetOf(*profile, space) : srgbTarget();
    targets_.insert(icc, result);
    return result;
}

void ColorConverter::applyTransform(const std::shared_ptr<void>& transform, uint8_t* pixels, int width,
                                    int height, qsizetype stride, const ParallelRunner* runner) {
    if (!transform || width <= 0 || height <= 0)
        return;
    const auto rows = [&](int begin, int end) {
        uint8_t* start = pixels + begin * stride;
        cmsDoTransformLineStride(transform.get(), start, start, cmsUInt32Number(width),
                                 cmsUInt32Number(end - begin), cmsUInt32Number(stride),
                                 cmsUInt32Number(stride), 0, 0);
    };
    ParallelRunner::run(runner, height, std::max(1, 65536 / width), rows);
}
