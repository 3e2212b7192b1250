#include "Edit.h"

#include <QPointF>

using namespace Qt::StringLiterals;

Image Edit::apply(const Image& image) const {
    const ImageRect extent = image.extent();
    Image result = ::apply(look, image);
    const Adjustments& a = adjustments;
    if (a.exposure != 0)
        result = result.applyingFilter(u"CIExposureAdjust", {{u"inputEV"_s, a.exposure}}).value_or(result);
    if (a.contrast != 1 || a.saturation != 1)
        result = result
                     .applyingFilter(u"CIColorControls",
                                     {{u"inputContrast"_s, a.contrast}, {u"inputSaturation"_s, a.saturation}})
                     .value_or(result);
    if (a.warmth != 0)
        result = result
                     .applyingFilter(u"CITemperatureAndTint",
                                     {{u"inputNeutral"_s, QPointF(6500 + 2500 * a.warmth, 0)},
                                      {u"inputTargetNeutral"_s, QPointF(6500, 0)}})
                     .value_or(result);
    if (crop) {
        // The crop's y runs downwards from the top, the image's upwards.
        const ImageRect wanted{extent.minX() + crop->minX() * extent.width,
                               extent.minY() + (1 - crop->maxY()) * extent.height, crop->width * extent.width,
                               crop->height * extent.height};
        const Image cropped = result.cropped(wanted.roundedOut());
        // From the cropped extent, so that even a crop reaching past the
        // image (not one the crop frame makes) starts at the origin.
        result = cropped.translated(-cropped.extent().minX(), -cropped.extent().minY());
    }
    return result;
}
