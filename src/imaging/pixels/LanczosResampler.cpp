#include "LanczosResampler.h"

#include "CpuFeatures.h"

#include "ParallelRunner.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include <immintrin.h>

namespace {

double lanczos3Exact(double x) {
    if (x < 1e-9)
        return 1;
    const double px = std::numbers::pi * x;
    return 3 * std::sin(px) * std::sin(px / 3) / (px * px);
}

// The kernel from a table of 1024 samples per pixel, interpolated (within
// 2e-6, far below the 14-bit weights): a screen-size resampler needs some
// 80 000 weights, which as sines cost milliseconds.
double lanczos3(double x) {
    constexpr int kPerUnit = 1024;
    static const std::vector<double> table = [] {
        std::vector<double> t(3 * kPerUnit + 2);
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = i < size_t(3 * kPerUnit) ? lanczos3Exact(double(i) / kPerUnit) : 0;
        return t;
    }();
    x = std::fabs(x) * kPerUnit;
    if (x >= 3 * kPerUnit)
        return 0;
    const auto i = size_t(x);
    return table[i] + (x - double(i)) * (table[i + 1] - table[i]);
}

// Two pixels' channels interleaved as 16-bit values: r0 r1 g0 g1 b0 b1 a0 a1.
inline __m128i interleave(__m128i twoPixels) {
    const __m128i order = _mm_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1);
    return _mm_shuffle_epi8(twoPixels, order);
}

} // namespace

void LanczosResampler::horizontalBaseline(const int* first, const int32_t* pairs, int pairCount, int taps,
                                          int outSize, const uint8_t* in, uint8_t* out) {
    const __m128i rounding = _mm_set1_epi32(1 << (kPrecision - 1));
    const bool oddTaps = taps & 1;
    for (int i = 0; i < outSize; ++i) {
        const uint8_t* src = in + size_t(first[i]) * 4;
        const int32_t* w = pairs + size_t(i) * size_t(pairCount);
        __m128i sum = rounding;
        const int full = oddTaps ? pairCount - 1 : pairCount;
        for (int k = 0; k < full; ++k) {
            const __m128i px = interleave(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + k * 8)));
            sum = _mm_add_epi32(sum, _mm_madd_epi16(px, _mm_set1_epi32(w[k])));
        }
        if (oddTaps) {
            int32_t v;
            std::memcpy(&v, src + full * 8, 4);
            sum =
                _mm_add_epi32(sum, _mm_madd_epi16(interleave(_mm_cvtsi32_si128(v)), _mm_set1_epi32(w[full])));
        }
        sum = _mm_srai_epi32(sum, kPrecision);
        const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(sum, sum), sum);
        const int32_t v = _mm_cvtsi128_si32(packed);
        std::memcpy(out + size_t(i) * 4, &v, 4);
    }
}

void LanczosResampler::verticalBaseline(const uint8_t* const* rows, const int32_t* pairs, int taps, int bytes,
                                        uint8_t* out) {
    const __m128i rounding = _mm_set1_epi32(1 << (kPrecision - 1));
    const __m128i zero = _mm_setzero_si128();
    int x = 0;
    for (; x + 16 <= bytes; x += 16) {
        __m128i s0 = rounding, s1 = rounding, s2 = rounding, s3 = rounding;
        for (int k = 0; k < taps; k += 2) {
            // An odd last tap pairs its row with itself at weight zero.
            const uint8_t* second = rows[k + 1 < taps ? k + 1 : k];
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + x));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second + x));
            const __m128i weights = _mm_set1_epi32(pairs[k / 2]);
            const __m128i lo = _mm_unpacklo_epi8(a, b);
            const __m128i hi = _mm_unpackhi_epi8(a, b);
            s0 = _mm_add_epi32(s0, _mm_madd_epi16(_mm_unpacklo_epi8(lo, zero), weights));
            s1 = _mm_add_epi32(s1, _mm_madd_epi16(_mm_unpackhi_epi8(lo, zero), weights));
            s2 = _mm_add_epi32(s2, _mm_madd_epi16(_mm_unpacklo_epi8(hi, zero), weights));
            s3 = _mm_add_epi32(s3, _mm_madd_epi16(_mm_unpackhi_epi8(hi, zero), weights));
        }
        s0 = _mm_srai_epi32(s0, kPrecision);
        s1 = _mm_srai_epi32(s1, kPrecision);
        s2 = _mm_srai_epi32(s2, kPrecision);
        s3 = _mm_srai_epi32(s3, kPrecision);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                         _mm_packus_epi16(_mm_packs_epi32(s0, s1), _mm_packs_epi32(s2, s3)));
    }
    verticalTail(rows, pairs, taps, x, bytes, out);
}

void LanczosResampler::verticalTail(const uint8_t* const* rows, const int32_t* pairs, int taps, int x,
                                    int bytes, uint8_t* out) {
    for (; x < bytes; ++x) {
        int32_t sum = 1 << (kPrecision - 1);
        for (int k = 0; k < taps; ++k) {
            const int16_t w = int16_t(k & 1 ? pairs[k / 2] >> 16 : pairs[k / 2] & 0xffff);
            sum += int32_t(rows[k][x]) * w;
        }
        out[x] = uint8_t(std::clamp(sum >> kPrecision, 0, 255));
    }
}

LanczosResampler::Axis LanczosResampler::makeAxis(int inSize, int outSize, double scale, double offset) {
    Axis a;
    a.inSize = inSize;
    a.outSize = outSize;
    if (inSize <= 0 || outSize <= 0)
        return a;
    a.identity = inSize == outSize && scale == 1.0 && offset == 0;
    if (a.identity)
        return a; // rows are copied; no weights
    // When shrinking, the kernel stretches over 3 / scale input pixels each side.
    const double support = 3.0 / std::min(scale, 1.0);
    const double filterScale = std::min(scale, 1.0);
    // A window 2 x support wide holds at most floor(2 x support) + 1 pixel
    // centres; an even count lets the SIMD loops take taps in pairs.
    a.taps = int(std::floor(2 * support)) + 1;
    a.taps += a.taps & 1;
    a.taps = std::min(inSize, a.taps);
    a.first.resize(size_t(outSize));
    a.weights.assign(size_t(outSize) * size_t(a.taps), 0);
    std::vector<double> w(size_t(a.taps));
    for (int i = 0; i < outSize; ++i) {
        const double centre = (i + 0.5) / scale + offset; // input pixel centres are at k + 0.5
        int first = int(std::floor(centre - support));
        first = std::clamp(first, 0, inSize - a.taps);
        double total = 0;
        for (int k = 0; k < a.taps; ++k) {
            const double x = (first + k + 0.5 - centre) * filterScale;
            w[size_t(k)] = lanczos3(x);
            total += w[size_t(k)];
        }
        if (total == 0) {
            // Far outside the input: repeat the nearest edge pixel.
            const int nearest = std::clamp(int(centre), first, first + a.taps - 1);
            w.assign(size_t(a.taps), 0);
            w[size_t(nearest - first)] = 1;
            total = 1;
        }
        // Fixed point, with the rounding error put on the largest weight so
        // the weights sum exactly to one and flat areas stay flat.
        int fixedTotal = 0;
        int largest = 0;
        int16_t* out = a.weights.data() + size_t(i) * size_t(a.taps);
        for (int k = 0; k < a.taps; ++k) {
            out[k] = int16_t(std::lround(w[size_t(k)] / total * (1 << kPrecision)));
            fixedTotal += out[k];
            if (out[k] > out[largest])
                largest = k;
        }
        out[largest] = int16_t(out[largest] + (1 << kPrecision) - fixedTotal);
        a.first[size_t(i)] = first;
    }
    // Neighbouring weights as one 32-bit word, the operand of a 16-bit multiply-add.
    const int pairs = (a.taps + 1) / 2;
    a.pairs.assign(size_t(outSize) * size_t(pairs), 0);
    for (int i = 0; i < outSize; ++i) {
        const int16_t* w = a.weights.data() + size_t(i) * size_t(a.taps);
        for (int k = 0; k < a.taps; k += 2) {
            const uint32_t lo = uint16_t(w[k]);
            const uint32_t hi = k + 1 < a.taps ? uint16_t(w[k + 1]) : 0;
            a.pairs[size_t(i) * size_t(pairs) + size_t(k / 2)] = int32_t(lo | (hi << 16));
        }
    }
    // Each word four times, one per channel, ready for a 128-bit multiply-add.
    a.spread.resize(a.pairs.size() * 4);
    for (size_t i = 0; i < a.pairs.size(); ++i)
        std::fill_n(a.spread.begin() + ptrdiff_t(i * 4), 4, a.pairs[i]);
    return a;
}

LanczosResampler::LanczosResampler(int inWidth, int inHeight, int outWidth, int outHeight, double scaleX,
                                   double scaleY)
    : x_(makeAxis(inWidth, outWidth, scaleX))
    , y_(makeAxis(inHeight, outHeight, scaleY)) {}

LanczosResampler::LanczosResampler(int inWidth, int inHeight, int outWidth, int outHeight, double scaleX,
                                   double scaleY, double offsetX, double offsetY)
    : x_(makeAxis(inWidth, outWidth, scaleX, offsetX))
    , y_(makeAxis(inHeight, outHeight, scaleY, offsetY)) {}

LanczosResampler::LanczosResampler(int inWidth, int inHeight, int outWidth, int outHeight)
    : LanczosResampler(inWidth, inHeight, outWidth, outHeight, double(outWidth) / std::max(1, inWidth),
                       double(outHeight) / std::max(1, inHeight)) {}

std::pair<int, int> LanczosResampler::inputRows(int begin, int end) const {
    if (begin >= end || y_.outSize == 0)
        return {0, 0};
    if (y_.identity)
        return {begin, end};
    return {y_.first[size_t(begin)], y_.first[size_t(end - 1)] + y_.taps};
}

void LanczosResampler::resampleRows(const uint8_t* input, qsizetype inStride, uint8_t* output,
                                    qsizetype outStride, int begin, int end) const {
    if (begin >= end || x_.outSize == 0)
        return;
    // Vertical first: the shrunken row count makes the costlier horizontal
    // pass cheaper, and one intermediate row per output row stays in L1.
    thread_local std::vector<uint8_t> row;
    const int inBytes = x_.inSize * 4;
    if (row.size() < size_t(inBytes))
        row.resize(size_t(inBytes));
    for (int y = begin; y < end; ++y) {
        const uint8_t* source = input + y * inStride;
        if (!y_.identity) {
            verticalRow(input, inStride, y, inBytes, row.data());
            source = row.data();
        }
        horizontalRow(source, output + (y - begin) * outStride);
    }
}

void LanczosResampler::verticalRow(const uint8_t* input, qsizetype inStride, int row, int bytes,
                                   uint8_t* out) const {
    if (y_.identity) {
        std::memcpy(out, input + row * inStride, size_t(bytes));
        return;
    }
    thread_local std::vector<const uint8_t*> rows;
    if (rows.size() < size_t(y_.taps))
        rows.resize(size_t(y_.taps));
    const int first = y_.first[size_t(row)];
    for (int k = 0; k < y_.taps; ++k)
        rows[size_t(k)] = input + (first + k) * inStride;
    const int32_t* pairs = y_.pairs.data() + size_t(row) * size_t((y_.taps + 1) / 2);
    if (CpuFeatures::avx2())
        verticalAvx2(rows.data(), pairs, y_.taps, bytes, out);
    else
        verticalBaseline(rows.data(), pairs, y_.taps, bytes, out);
}

void LanczosResampler::horizontalRow(const uint8_t* in, uint8_t* out) const {
    if (x_.identity)
        std::memcpy(out, in, size_t(x_.inSize) * 4);
    else if (CpuFeatures::avx2() && (x_.taps & 1) == 0)
        horizontalAvx2(x_.first.data(), x_.spread.data(), (x_.taps + 1) / 2, x_.outSize, in, out);
    else
        horizontalBaseline(x_.first.data(), x_.pairs.data(), (x_.taps + 1) / 2, x_.taps, x_.outSize, in, out);
}

void LanczosResampler::resample(const uint8_t* input, qsizetype inStride, uint8_t* output,
                                qsizetype outStride, const ParallelRunner* runner) const {
    const int band = 32;
    const auto rows = [&](int begin, int end) {
        resampleRows(input, inStride, output + begin * outStride, outStride, begin, end);
    };
    ParallelRunner::run(runner, outHeight(), band, rows);
}
