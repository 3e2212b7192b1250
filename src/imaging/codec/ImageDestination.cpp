#include "ImageDestination.h"

#include "JpegCompressor.h"
#include "imaging/color/ColorKernel.h"
#include "imaging/color/ColorProfile.h"

#include <QColorSpace>

#include <cerrno>
#include <unistd.h>

void ImageDestination::addImage(const QImage& bitmap, const ImageMetadata& metadata, double quality) {
    bitmap_ = bitmap;
    metadata_ = metadata;
    quality_ = quality;
}

std::expected<void, ImagingError> ImageDestination::finalize() {
    if (bitmap_.isNull())
        return std::unexpected(ImagingError{QStringLiteral("No image to write")});
    QImage bitmap = bitmap_;
    ColorKernel::Format format = ColorKernel::Format::rgba8;
    if (bitmap.format() == QImage::Format_RGB32 || bitmap.format() == QImage::Format_ARGB32) {
        format = ColorKernel::Format::bgra8;
    } else if (bitmap.format() != QImage::Format_RGBX8888 && bitmap.format() != QImage::Format_RGBA8888) {
        bitmap = bitmap.convertToFormat(QImage::Format_RGBX8888);
    }

    JpegCompressor::Options options;
    options.quality = JpegCompressor::qualityPercent(quality_);
    options.runner = runner_;
    const QColorSpace space = bitmap.colorSpace();
    if (!space.isValid() || space == QColorSpace(QColorSpace::SRgb))
        options.iccProfile = {}; // sRGB is what a JPEG without a profile means
    else if (space == QColorSpace(QColorSpace::DisplayP3))
        options.iccProfile = ColorProfile::displayP3().iccBytes();
    else
        options.iccProfile = space.iccProfile();
    const ImageMetadata::JpegSegments segments = metadata_.jpegSegments();
    if (!segments.exif.isEmpty())
        options.app1.append(segments.exif);
    if (!segments.xmp.isEmpty())
        options.app1.append(segments.xmp);
    options.app13 = segments.iptc;

    const int fd = fd_;
    return JpegCompressor::encode(bitmap.constBits(), bitmap.width(), bitmap.height(), bitmap.bytesPerLine(),
                                  format, options, [fd](const unsigned char* data, size_t size) {
                                      while (size > 0) {
                                          const ssize_t n = ::write(fd, data, size);
                                          if (n < 0 && errno == EINTR)
                                              continue;
                                          if (n <= 0)
                                              return false;
                                          data += n;
                                          size -= size_t(n);
                                      }
                                      return true;
                                  });
}
