#pragma once

#include "ColorKernel.h"
#include "Matrix3.h"

#include <QByteArray>
#include <QColorSpace>
#include <QHash>

#include <memory>
#include <mutex>

class ParallelRunner;

// Tells the pixel kernels how to get from a file's or bitmap's colour space
// into linear Display P3 and out again into a destination space, using lcms2
// to read ICC profiles. Matrix-and-curves profiles (sRGB, Display P3, Adobe
// RGB, almost every camera's) become curve tables and a matrix that fuse into
// the kernel's single pass; other profiles get an lcms2 transform. Results
// are cached by profile. Thread-safe.
class ColorConverter {
public:
    // 8-bit values of a source to linear Display P3.
    struct Source {
        std::shared_ptr<const ColorKernel::DecodeTables> decode; // encoded value to linear
        Matrix3 toDisplayP3;
        // For other profiles: converts 8-bit RGBA to Display P3 first (then
        // decode and matrix are those of Display P3).
        std::shared_ptr<void> transform;

        bool isDisplayP3() const {
            return !transform && decode == ColorKernel::srgbDecode() &&
                   toDisplayP3.distanceFromIdentity() < 1e-4;
        }
    };
    // Linear Display P3 to 8-bit values of a destination.
    struct Target {
        Matrix3 fromDisplayP3;
        std::shared_ptr<const ColorKernel::EncodeTable> encode;
        // For other profiles: converts 8-bit Display P3 RGBA afterwards.
        std::shared_ptr<void> transform;
        QColorSpace space;

        bool isDisplayP3() const {
            return !transform && encode == ColorKernel::srgbEncode() &&
                   fromDisplayP3.distanceFromIdentity() < 1e-4;
        }
    };

    // An embedded ICC profile; empty or unusable bytes mean sRGB.
    Source source(const QByteArray& icc);
    // A bitmap's colour space; an invalid one means sRGB.
    Source source(const QColorSpace& space);
    // An invalid space means Display P3.
    Target target(const QColorSpace& space);

    static Source displayP3Source();
    static Target displayP3Target();

    // Runs an lcms2 transform of a Source or Target over 8-bit RGBA rows in place.
    static void applyTransform(const std::shared_ptr<void>& transform, uint8_t* pixels, int width, int height,
                               qsizetype stride, const ParallelRunner* runner);

private:
    std::mutex mutex_;
    QHash<QByteArray, Source> sources_;
    QHash<QByteArray, Target> targets_;
};
