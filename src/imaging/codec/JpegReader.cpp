#include "JpegReader.h"

#include <QColorSpace>

#include "JpegDecoder.h"
#include "YCbCrScaler.h"
#include "imaging/color/ColorKernel.h"
#include "imaging/pixels/LanczosResampler.h"
#include "imaging/pixels/Orientation.h"
#include "imaging/pixels/ParallelRunner.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <optional>
#include <vector>

namespace {

QSize fitWithin(QSize size, int maxPixel) {
    const int longSide = std::max(size.width(), size.height());
    if (longSide <= maxPixel)
        return size;
    const double s = double(maxPixel) / longSide;
    return QSize(std::max(1, int(std::lround(size.width() * s))),
                 std::max(1, int(std::lround(size.height() * s))));
}

ColorKernel::Plan planFor(const ColorConverter::Source& color) {
    ColorChain chain;
    chain.appendAffine(ColorChain::Domain::linear, color.toDisplayP3);
    return ColorKernel::Plan{color.decode, chain.steps(), ColorKernel::srgbEncode(), true};
}

// Runs `decode` on the calling thread, which reports finished rows through
// the callback it is given, while helpers run `work` on chunks of [0, count)
// as soon as the rows `needed(begin, end)` are decoded.
template <typename Decode, typename Needed, typename Work>
std::expected<void, ImagingError> whileDecoding(const ParallelRunner& runner, int count, int grain,
                                                const Decode& decode, const Needed& needed,
                                                const Work& work) {
    ParallelRunner::Progress progress;
    std::expected<void, ImagingError> decoded;
    runner.run(
        count, grain,
        [&](int begin, int end) {
            if (progress.waitFor(needed(begin, end)))
                work(begin, end);
        },
        [&] {
            decoded = decode([&progress](int rows) { progress.publish(rows); });
            progress.finish();
        });
    return decoded;
}

// Decodes into 4-byte rows at 1/denominator and runs `work` on chunks of
// [0, count) as their rows come (see whileDecoding). A profile with lookup
// tables has its lcms2 transform, which needs every row, applied first.
template <typename Needed, typename Work>
std::expected<void, ImagingError> decodeRows(JpegDecoder& decoder, int denominator, unsigned char* pixels,
                                             qsizetype stride, const ColorConverter::Source& color,
                                             const PixelResources& resources, int count, int grain,
                                             const Needed& needed, const Work& work) {
    if (color.transform) {
        auto decoded = decoder.decode(denominator, pixels, stride);
        if (!decoded)
            return decoded;
        const QSize size = decoder.scaledSize(denominator);
        ColorConverter::applyTransform(color.transform, pixels, size.width(), size.height(), stride,
                                       resources.runner);
        resources.runner->run(count, grain, work);
        return {};
    }
    return whileDecoding(
        *resources.runner, count, grain,
        [&](const std::function<void(int)>& publish) {
            return decoder.decode(denominator, pixels, stride, publish);
        },
        needed, work);
}

// Decodes the YCbCr planes on the calling thread while helpers make output
// rows from the finished ones, convert their colour and set them upright.
std::expected<void, ImagingError> readPlanes(JpegDecoder& decoder, int denominator,
                                             const JpegDecoder::Planes& planes, QSize out,
                                             const ColorKernel::Plan& plan, unsigned char* target,
                                             const Orientation::Steps& place,
                                             const PixelResources& resources) {
    qsizetype strides[3];
    size_t offsets[3];
    size_t total = 0;
    for (int i = 0; i < 3; ++i) {
        strides[i] = (qsizetype(planes.bufferSize[i].width()) + 63) & ~qsizetype(63);
        offsets[i] = total;
        total += size_t(strides[i]) * size_t(planes.bufferSize[i].height());
    }
    const std::shared_ptr<PixelBuffer> buffer = resources.pool->take(total);
    if (!buffer)
        return std::unexpected(ImagingError{QStringLiteral("Out of memory")});
    unsigned char* const buffers[3] = {buffer->data() + offsets[0], buffer->data() + offsets[1],
                                       buffer->data() + offsets[2]};
    const YCbCrScaler::Plane views[3] = {
        {buffers[0], strides[0]}, {buffers[1], strides[1]}, {buffers[2], strides[2]}};
    // Made by whichever thread needs it first, so that decoding starts at once.
    std::once_flag made;
    std::optional<YCbCrScaler> scaler;

    const qsizetype stride = qsizetype(out.width()) * 4;
    const ColorKernel::Pass pass(plan, {nullptr, 4, stride, ColorKernel::Format::rgba8},
                                 {target, place.xStep, place.yStep, ColorKernel::Format::rgba8}, out.width(),
                                 out.height());
    const auto ready = [&] {
        std::call_once(made,
                       [&] { scaler.emplace(planes.size[0], planes.size[1], planes.chromaDivisor, out); });
        return &*scaler;
    };
    return whileDecoding(
        *resources.runner, out.height(), 32,
        [&](const std::function<void(int)>& publish) {
            return decoder.decodePlanes(denominator, buffers, strides, publish);
        },
        [&](int begin, int end) { return ready()->lumaRowsFor(begin, end); },
        [&](int begin, int end) {
            thread_local std::vector<unsigned char> scratch;
            scratch.resize(size_t(stride) * size_t(end - begin));
            ready()->rows(views, begin, end, scratch.data(), stride);
            pass.run(scratch.data(), target + begin * place.yStep, end - begin);
        });
}

} // namespace

std::expected<QImage, ImagingError> JpegReader::readScaled(const QString& path, int maxPixel) const {
    auto decoder = JpegDecoder::openFile(path);
    if (!decoder)
        return std::unexpected(decoder.error());
    return readScaled(**decoder, maxPixel, (*decoder)->orientation());
}

std::expected<QImage, ImagingError> JpegReader::readScaled(JpegDecoder& decoder, int maxPixel,
                                                           int orientation) const {
    const int denominator = decoder.denominatorFor(maxPixel);
    const QSize decoded = decoder.scaledSize(denominator);
    const QSize out = fitWithin(decoded, maxPixel);
    const QSize upright = Orientation::uprightSize(out, orientation);

    ColorConverter::Source color = resources_.colors->source(decoder.iccProfile());
    const bool resample = out != decoded;
    const bool lcmsFirst = color.transform != nullptr;
    ColorKernel::Plan plan = planFor(lcmsFirst ? ColorConverter::displayP3Source() : color);

    QImage image = resources_.newImage(upright.width(), upright.height(), QImage::Format_RGBX8888);
    if (image.isNull())
        return std::unexpected(ImagingError{QStringLiteral("Out of memory")});
    image.setColorSpace(QColorSpace(QColorSpace::DisplayP3));

    // Straight into the result when there is nothing else to do.
    if (!resample && !lcmsFirst && orientation == 1 && ColorKernel::isIdentity(plan)) {
        auto done = decoder.decode(denominator, image.bits(), image.bytesPerLine());
        if (!done)
            return std::unexpected(done.error());
        return image;
    }

    const Orientation::Steps place =
        Orientation::placement(orientation, out.width(), out.height(), image.bytesPerLine(), 4);
    unsigned char* target = image.bits() + place.offset;

    // A colour photo that is shrunk skips libjpeg's chroma upsampling and
    // colour conversion: the helpers do both at output size.
    const std::optional<JpegDecoder::Planes> planes =
        resample && !lcmsFirst ? decoder.planes(denominator) : std::nullopt;
    if (planes) {
        if (auto done = readPlanes(decoder, denominator, *planes, out, plan, target, place, resources_);
            !done)
            return std::unexpected(done.error());
        return image;
    }

    const qsizetype decodedStride = qsizetype(decoded.width()) * 4;
    const std::shared_ptr<PixelBuffer> buffer =
        resources_.pool->take(size_t(decodedStride) * decoded.height());
    if (!buffer)
        return std::unexpected(ImagingError{QStringLiteral("Out of memory")});
    unsigned char* pixels = buffer->data();

    const LanczosResampler resampler(decoded.width(), decoded.height(), out.width(), out.height());

    const ColorKernel::Pass pass(
        plan, {nullptr, 4, resample ? qsizetype(out.width()) * 4 : decodedStride, ColorKernel::Format::rgba8},
        {target, place.xStep, place.yStep, ColorKernel::Format::rgba8}, out.width(), out.height());
    // Output rows [begin, end) as stored, from decoded rows.
    const auto finish = [&](int begin, int end) {
        const unsigned char* rows = pixels + begin * decodedStride;
        thread_local std::vector<unsigned char> scratch;
        if (resample) {
            const qsizetype stride = qsizetype(out.width()) * 4;
            scratch.resize(size_t(stride) * size_t(end - begin));
            resampler.resampleRows(pixels, decodedStride, scratch.data(), stride, begin, end);
            rows = scratch.data();
        }
        pass.run(rows, target + begin * place.yStep, end - begin);
    };
    const auto needed = [&](int begin, int end) {
        return resample ? resampler.inputRows(begin, end).second : end;
    };
    if (auto done = decodeRows(decoder, denominator, pixels, decodedStride, color, resources_, out.height(),
                               32, needed, finish);
        !done)
        return std::unexpected(done.error());
    return image;
}

std::expected<QImage, ImagingError> JpegReader::readFull(const QString& path, const QRect& rect,
                                                         const PlanFor& planFor) const {
    auto opened = JpegDecoder::openFile(path);
    if (!opened)
        return std::unexpected(opened.error());
    JpegDecoder& decoder = **opened;
    const QSize size = decoder.size();
    const int orientation = decoder.orientation();
    if (rect.isEmpty() || !QRect(QPoint(), Orientation::uprightSize(size, orientation)).contains(rect))
        return std::unexpected(ImagingError{QStringLiteral("The picture is not the size it was")});
    const QRect stored = Orientation::storedRect(orientation, size, rect);

    const ColorConverter::Source color = resources_.colors->source(decoder.iccProfile());
    const bool lcmsFirst = color.transform != nullptr;
    const ColorKernel::Plan plan = planFor(lcmsFirst ? ColorConverter::displayP3Source() : color);

    QImage image = resources_.newImage(rect.width(), rect.height(), QImage::Format_RGBX8888);
    if (image.isNull())
        return std::unexpected(ImagingError{QStringLiteral("Out of memory")});
    // An upright picture read whole is decoded into the result and finished in place.
    const bool inPlace = orientation == 1 && stored.size() == size;
    const qsizetype stride = inPlace ? image.bytesPerLine() : qsizetype(size.width()) * 4;
    std::shared_ptr<PixelBuffer> buffer;
    if (!inPlace) {
        buffer = resources_.pool->take(size_t(stride) * size_t(size.height()));
        if (!buffer)
            return std::unexpected(ImagingError{QStringLiteral("Out of memory")});
    }
    unsigned char* const pixels = inPlace ? image.bits() : buffer->data();

    const Orientation::Steps place =
        Orientation::placement(orientation, stored.width(), stored.height(), image.bytesPerLine(), 4);
    const ColorKernel::Pass pass(
        plan, {pixels + stored.top() * stride + stored.left() * 4, 4, stride, ColorKernel::Format::rgba8},
        {image.bits() + place.offset, place.xStep, place.yStep, ColorKernel::Format::rgba8}, stored.width(),
        stored.height());
    // Chunks of about 128 K pixels.
    const int grain = std::max(8, (1 << 17) / stored.width());

    std::expected<void, ImagingError> decoded;
    if (inPlace && ColorKernel::isIdentity(plan) && !lcmsFirst)
        decoded = decoder.decode(1, pixels, stride);
    else
        decoded = decodeRows(
            decoder, 1, pixels, stride, color, resources_, stored.height(), grain,
            [&](int, int end) { return stored.top() + end; }, [&](int b, int e) { pass.run(b, e); });
    if (!decoded)
        return std::unexpected(decoded.error());
    return image;
}
