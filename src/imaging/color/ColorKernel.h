#pragma once

// Imaging, color part: colour spaces and the loops that move pixels between
// them. ICC profiles and their conversion to Display P3, colour maths, the
// colour chain an edit describes and the fused kernel (with its AVX2 form)
// that runs a chain over whole images, and the conversion for the screen.
// Uses only the pixels part.

#include "ColorChain.h"
#include "ColorKernelArgs.h"

#include <QImage>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class ParallelRunner;

// Runs a colour transform over pixels in one pass: 8-bit (or 16-bit linear)
// values are decoded through per-channel tables into linear float, the steps
// of a ColorChain run exactly (transfer curves by polynomial, good to a
// hundredth of a level) on eight pixels at a time with AVX2 and FMA where the
// processor has them, four with SSE4 otherwise, and the result is encoded
// through a 16384-entry table. Over a whole image, each run of steps that
// treat the channels apart and hold two curves or more (encode, tone curve,
// decode) is first sampled into one table of the run, two lookups instead of
// several roots and polynomials per value (within a level of the steps). Reads
// and writes through arbitrary pixel and row steps, so orientation, cropping
// and in-place work come free. Stateless; any thread.
class ColorKernel {
public:
    enum class Format { rgba8, bgra8, rgb8, rgb16 };

    // The layout of a bitmap as the kernel reads it. Layouts it cannot read
    // (premultiplied, paletted, 16-bit) are first converted to plain RGBA or
    // RGBX in place, which leaves a null image on lack of memory.
    static Format readableLayout(QImage& image);

    struct DecodeTables {
        std::array<float, 3 * 256> values{}; // red, green, blue
    };
    struct EncodeTable {
        std::array<uint8_t, ColorKernelArgs::kEncodeSize + 4> values{};
    };

    struct Plan {
        std::shared_ptr<const DecodeTables> decode; // ignored for rgb16 input (linear)
        std::vector<ColorChain::Step> steps;
        std::shared_ptr<const EncodeTable> encode;
        bool opaque = true;
    };

    struct Source {
        const unsigned char* origin = nullptr; // the first pixel of the first row
        ptrdiff_t xStep = 4;
        ptrdiff_t yStep = 0;
        Format format = Format::rgba8;
    };
    struct Target {
        unsigned char* origin = nullptr;
        ptrdiff_t xStep = 4;
        ptrdiff_t yStep = 0;
        Format format = Format::rgba8;
    };

    static void apply(const Plan& plan, const Source& source, const Target& target, int width, int height,
                      const ParallelRunner* runner);

    // A plan made ready once for an image whose rows are run later, a few at
    // a time and from any thread: as a decoder finishes them, say. Images of
    // 64 K pixels or more get the run tables.
    class Pass {
    public:
        Pass(const Plan& plan, const Source& source, const Target& target, int width, int height);
        ~Pass();
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;
        void run(int rowBegin, int rowEnd) const;
        // `rows` rows read at `source` and written at `target`, with the
        // pixel and row steps given at construction.
        void run(const unsigned char* source, unsigned char* target, int rows) const;

    private:
        struct Prepared;
        Plan plan_;
        Source source_;
        Target target_;
        std::unique_ptr<const Prepared> prepared_;
    };

    // The sRGB curve (also Display P3's) as tables, shared.
    static std::shared_ptr<const DecodeTables> srgbDecode();
    static std::shared_ptr<const EncodeTable> srgbEncode();
    static std::shared_ptr<const DecodeTables>
    decodeTables(const std::array<std::array<float, 256>, 3>& values);
    // Encodes linear v through `curve` (a function on [0, 1]).
    template <typename Curve>
    static std::shared_ptr<const EncodeTable> encodeTable(Curve curve) {
        auto table = std::make_shared<EncodeTable>();
        for (int i = 0; i < ColorKernelArgs::kEncodeSize; ++i) {
            const double v = curve(static_cast<double>(i) / (ColorKernelArgs::kEncodeSize - 1));
            table->values[static_cast<size_t>(i)] =
                static_cast<uint8_t>(std::clamp(v * 255 + 0.5, 0.0, 255.0));
        }
        return table;
    }

    // True when the plan maps every pixel to itself (sRGB-curve tables, no steps).
    static bool isIdentity(const Plan& plan);

    // Runs the plan's steps on linear colours in place.
    static void evaluate(const Plan& plan, float* r, float* g, float* b, int n);

private:
    static void runRows(const Plan& plan, const Source& source, const Target& target,
                        const ColorKernelArgs::Rows& rows, int rowBegin, int rowEnd);
    static void rowsBaseline(const ColorKernelArgs::Rows& rows, int rowBegin, int rowEnd);
    static void rowsAvx2(const ColorKernelArgs::Rows& rows, int rowBegin, int rowEnd);
    // At most one affine step, contiguous RGBA input, RGBA or BGRA output.
    static void affineRowsAvx2(const ColorKernelArgs::Rows& rows, int rowBegin, int rowEnd);
    static void copyRows(const ColorKernelArgs::Rows& rows, int rowBegin, int rowEnd);
    static void evaluateBaseline(const ColorKernelArgs::Rows& rows, float* r, float* g, float* b, int n);
    static void evaluateAvx2(const ColorKernelArgs::Rows& rows, float* r, float* g, float* b, int n);
};
