#include "ColorKernel.h"

#include "imaging/pixels/CpuFeatures.h"

#define COLOR_LOOP_WIDTH 4
#include "ColorKernelLoop.h"
#include "ColorMath.h"
#include "imaging/pixels/ParallelRunner.h"
#include <cmath>
#include <cstring>

namespace {

ColorKernelArgs::Format argsFormat(ColorKernel::Format format) {
    switch (format) {
    case ColorKernel::Format::rgba8:
        return ColorKernelArgs::rgba8;
    case ColorKernel::Format::bgra8:
        return ColorKernelArgs::bgra8;
    case ColorKernel::Format::rgb8:
        return ColorKernelArgs::rgb8;
    case ColorKernel::Format::rgb16:
        return ColorKernelArgs::rgb16;
    }
    return ColorKernelArgs::rgba8;
}

ColorKernelArgs::Step argsStep(const ColorChain::Step& s) {
    ColorKernelArgs::Step a{};
    a.kind = static_cast<int>(s.kind);
    for (size_t i = 0; i < 12; ++i)
        a.m[i] = s.m[i];
    a.amount = s.amount;
    a.curve = s.curve ? (*s.curve)[0].data() : nullptr;
    return a;
}

// A step that works on each channel alone: a transfer curve, a tone curve,
// or a matrix without cross terms.
bool perChannel(const ColorChain::Step& s) {
    using Kind = ColorChain::Step::Kind;
    if (s.kind == Kind::encode || s.kind == Kind::decode || s.kind == Kind::curve)
        return true;
    const auto& m = s.m;
    return s.kind == Kind::affine && m[1] == 0 && m[2] == 0 && m[4] == 0 && m[6] == 0 && m[8] == 0 &&
           m[9] == 0;
}

// The plan's steps for the pixel loops. With `fuse`, each run of per-channel
// steps holding two curves or more (an edit's encode, tone curve and decode;
// contrast between encode and decode) becomes one table of the run, sampled
// exactly: two neighbouring samples read instead of several roots and
// polynomials per value.
std::vector<ColorKernelArgs::Step> argsSteps(const std::vector<ColorChain::Step>& steps, bool fuse,
                                             std::vector<std::vector<float>>& tables) {
    using namespace ColorKernelArgs;
    std::vector<Step> result;
    size_t i = 0;
    while (i < steps.size()) {
        size_t end = i;
        int curves = 0;
        while (fuse && end < steps.size() && perChannel(steps[end])) {
            curves += steps[end].kind != ColorChain::Step::Kind::affine;
            ++end;
        }
        if (curves < 2) {
            result.push_back(argsStep(steps[i]));
            ++i;
            continue;
        }
        std::vector<float> r(kTableSamples), g(kTableSamples), b(kTableSamples);
        for (int k = 0; k < kTableSamples; ++k) {
            const int n = k % kTableHalf;
            // Exactly the floats whose bits the loop reads the samples by.
            const int32_t bits = n == 0 ? 0 : kTableLowestBits + ((n - 1) << kTableShift);
            float v;
            std::memcpy(&v, &bits, sizeof v);
            r[size_t(k)] = g[size_t(k)] = b[size_t(k)] = k < kTableHalf ? -v : v;
        }
        const ColorKernel::Plan run{
            nullptr,
            std::vector<ColorChain::Step>(steps.begin() + ptrdiff_t(i), steps.begin() + ptrdiff_t(end)),
            nullptr, true};
        ColorKernel::evaluate(run, r.data(), g.data(), b.data(), kTableSamples);
        std::vector<float> samples;
        samples.reserve(3 * size_t(kTableSamples));
        for (const std::vector<float>* channel : {&r, &g, &b})
            samples.insert(samples.end(), channel->begin(), channel->end());
        tables.push_back(std::move(samples));
        Step step{};
        step.kind = table;
        step.curve = tables.back().data();
        result.push_back(step);
        i = end;
    }
    return result;
}

} // namespace

static_assert(static_cast<int>(ColorChain::Step::Kind::affine) == ColorKernelArgs::affine);
static_assert(static_cast<int>(ColorChain::Step::Kind::encode) == ColorKernelArgs::encode);
static_assert(static_cast<int>(ColorChain::Step::Kind::decode) == ColorKernelArgs::decode);
static_assert(static_cast<int>(ColorChain::Step::Kind::curve) == ColorKernelArgs::curve);
static_assert(static_cast<int>(ColorChain::Step::Kind::vibrance) == ColorKernelArgs::vibrance);
static_assert(sizeof(ColorChain::CurveTables) == 3 * ColorKernelArgs::kCurveSamples * sizeof(float));

void ColorKernel::rowsBaseline(const ColorKernelArgs::Rows& rows, int rowBegin, int rowEnd) {
    colorloop::runRows(rows, rowBegin, rowEnd);
}

void ColorKernel::evaluateBaseline(const ColorKernelArgs::Rows& rows, float* r, float* g, float* b, int n) {
    colorloop::evaluate(rows, r, g, b, n);
}

namespace {

struct PreparedRows {
    std::vector<ColorKernelArgs::Step> steps;
    std::vector<std::vector<float>> tables; // of the `table` steps
    ColorKernelArgs::Rows rows{};
};

PreparedRows prepare(const ColorKernel::Plan& plan, const ColorKernel::Source& source,
                     const ColorKernel::Target& target, int width, bool fuse) {
    PreparedRows p;
    p.steps = argsSteps(plan.steps, fuse, p.tables);
    p.rows = ColorKernelArgs::Rows{p.steps.data(),
                                   static_cast<int>(p.steps.size()),
                                   (plan.decode ? plan.decode : ColorKernel::srgbDecode())->values.data(),
                                   (plan.encode ? plan.encode : ColorKernel::srgbEncode())->values.data(),
                                   source.origin,
                                   source.xStep,
                                   source.yStep,
                                   argsFormat(source.format),
                                   target.origin,
                                   target.xStep,
                                   target.yStep,
                                   argsFormat(target.format),
                                   plan.opaque,
                                   width};
    return p;
}

} // namespace

void ColorKernel::copyRows(const ColorKernelArgs::Rows& a, int rowBegin, int rowEnd) {
    const bool swap = a.targetFormat == ColorKernelArgs::bgra8;
    for (int y = rowBegin; y < rowEnd; ++y) {
        const unsigned char* in = a.source + y * a.sourceY;
        unsigned char* out = a.target + y * a.targetY;
        if (!swap && a.sourceX == 4 && a.targetX == 4 && !a.opaque) {
            std::memcpy(out, in, size_t(a.width) * 4);
            continue;
        }
        for (int x = 0; x < a.width; ++x, in += a.sourceX, out += a.targetX) {
            out[0] = in[swap ? 2 : 0];
            out[1] = in[1];
            out[2] = in[swap ? 0 : 2];
            out[3] = a.opaque ? 255 : in[3];
        }
    }
}

struct ColorKernel::Pass::Prepared {
    PreparedRows rows;
};

ColorKernel::Pass::Pass(const Plan& plan, const Source& source, const Target& target, int width, int height)
    : plan_(plan)
    , source_(source)
    , target_(target)
    // A whole image is worth the tables of fused steps (12 K evaluations).
    , prepared_(new Prepared{prepare(plan, source, target, width, long(width) * height >= 65536)}) {}

ColorKernel::Pass::~Pass() = default;

void ColorKernel::Pass::run(int rowBegin, int rowEnd) const {
    runRows(plan_, source_, target_, prepared_->rows.rows, rowBegin, rowEnd);
}

void ColorKernel::Pass::run(const unsigned char* source, unsigned char* target, int rows) const {
    ColorKernelArgs::Rows moved = prepared_->rows.rows;
    moved.source = source;
    moved.target = target;
    runRows(plan_, source_, target_, moved, 0, rows);
}

void ColorKernel::runRows(const Plan& plan, const Source& source, const Target& target,
                          const ColorKernelArgs::Rows& rows, int rowBegin, int rowEnd) {
    const bool rgbaIn = source.format == Format::rgba8;
    const bool rgbaOut = target.format == Format::rgba8 || target.format == Format::bgra8;
    if (rgbaIn && rgbaOut && isIdentity(plan)) {
        copyRows(rows, rowBegin, rowEnd);
        return;
    }
    const bool oneMatrix = plan.steps.empty() || (plan.steps.size() == 1 &&
                                                  plan.steps.front().kind == ColorChain::Step::Kind::affine);
    if (CpuFeatures::avx2() && oneMatrix && rgbaIn && source.xStep == 4 && rgbaOut) {
        affineRowsAvx2(rows, rowBegin, rowEnd);
        return;
    }
    if (CpuFeatures::avx2())
        rowsAvx2(rows, rowBegin, rowEnd);
    else
        rowsBaseline(rows, rowBegin, rowEnd);
}

void ColorKernel::evaluate(const Plan& plan, float* r, float* g, float* b, int n) {
    const PreparedRows p = prepare(plan, {}, {}, 0, false);
    if (CpuFeatures::avx2())
        evaluateAvx2(p.rows, r, g, b, n);
    else
        evaluateBaseline(p.rows, r, g, b, n);
}

void ColorKernel::apply(const Plan& plan, const Source& source, const Target& target, int width, int height,
                        const ParallelRunner* runner) {
    if (width <= 0 || height <= 0)
        return;
    const Pass pass(plan, source, target, width, height);
    if (!runner || runner->threadCount() == 1) {
        pass.run(0, height);
        return;
    }
    // Chunks of about 64 K pixels: small enough to share out evenly.
    const int grain = std::max(1, 65536 / width);
    runner->run(height, grain, [&pass](int begin, int end) { pass.run(begin, end); });
}

std::shared_ptr<const ColorKernel::DecodeTables> ColorKernel::srgbDecode() {
    static const std::shared_ptr<const DecodeTables> tables = [] {
        auto t = std::make_shared<DecodeTables>();
        for (int c = 0; c < 3; ++c) {
            for (int i = 0; i < 256; ++i)
                t->values[static_cast<size_t>(c * 256 + i)] =
                    static_cast<float>(ColorMath::decode(i / 255.0));
        }
        return t;
    }();
    return tables;
}

std::shared_ptr<const ColorKernel::EncodeTable> ColorKernel::srgbEncode() {
    static const std::shared_ptr<const EncodeTable> table =
        encodeTable([](double v) { return ColorMath::encode(v); });
    return table;
}

std::shared_ptr<const ColorKernel::DecodeTables>
ColorKernel::decodeTables(const std::array<std::array<float, 256>, 3>& values) {
    // Tables that are the sRGB curve share the built-in ones, so that plans
    // can recognise them.
    const auto& srgb = srgbDecode()->values;
    bool same = true;
    for (size_t c = 0; c < 3 && same; ++c) {
        for (size_t i = 0; i < 256 && same; ++i)
            same = std::fabs(values[c][i] - srgb[c * 256 + i]) < 2e-5f;
    }
    if (same)
        return srgbDecode();
    auto t = std::make_shared<DecodeTables>();
    for (size_t c = 0; c < 3; ++c) {
        for (size_t i = 0; i < 256; ++i)
            t->values[c * 256 + i] = values[c][i];
    }
    return t;
}

bool ColorKernel::isIdentity(const Plan& plan) {
    return plan.steps.empty() && (!plan.decode || plan.decode == srgbDecode()) &&
           (!plan.encode || plan.encode == srgbEncode());
}

ColorKernel::Format ColorKernel::readableLayout(QImage& image) {
    switch (image.format()) {
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBX8888:
        return Format::rgba8;
    case QImage::Format_ARGB32:
    case QImage::Format_RGB32:
        return Format::bgra8;
    default:
        image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_RGBA8888
                                                              : QImage::Format_RGBX8888);
        return Format::rgba8;
    }
}
