#include "YCbCrScaler.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <immintrin.h>

namespace {

// Chroma of half the luma width, widened as libjpeg's "fancy" upsampling
// does: each sample weighs 3/4 at its own two pixels and 1/4 at the nearer
// of its neighbours', so chroma stays centred between its luma pixels.
// Sixteen pixels at a time with SSE.
void joinRow(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int width, int chromaWidth,
             bool halfWidth, uint8_t* out) {
    const __m128i opaque = _mm_set1_epi8(char(0xff));
    const auto store16 = [&](int x, __m128i ys, __m128i cbs, __m128i crs) {
        const __m128i lowYc = _mm_unpacklo_epi8(ys, cbs), highYc = _mm_unpackhi_epi8(ys, cbs);
        const __m128i lowCr = _mm_unpacklo_epi8(crs, opaque), highCr = _mm_unpackhi_epi8(crs, opaque);
        auto* p = reinterpret_cast<__m128i*>(out + x * 4);
        _mm_storeu_si128(p, _mm_unpacklo_epi16(lowYc, lowCr));
        _mm_storeu_si128(p + 1, _mm_unpackhi_epi16(lowYc, lowCr));
        _mm_storeu_si128(p + 2, _mm_unpacklo_epi16(highYc, highCr));
        _mm_storeu_si128(p + 3, _mm_unpackhi_epi16(highYc, highCr));
    };
    const auto load = [](const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    int x = 0;
    if (!halfWidth) {
        for (; x + 16 <= width; x += 16)
            store16(x, load(y + x), load(cb + x), load(cr + x));
    } else {
        // Eight chroma samples with both neighbours inside the row make sixteen pixels.
        const __m128i one = _mm_set1_epi16(1), two = _mm_set1_epi16(2);
        const auto widen = [&](const uint8_t* c) {
            const __m128i centre = _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(c)));
            const __m128i left = _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(c - 1)));
            const __m128i right = _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(c + 1)));
            const __m128i triple = _mm_add_epi16(centre, _mm_add_epi16(centre, centre));
            const __m128i even = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(triple, left), one), 2);
            const __m128i odd = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(triple, right), two), 2);
            return _mm_or_si128(even, _mm_slli_epi16(odd, 8));
        };
        x = 16;
        for (; x + 16 <= width && x / 2 + 9 <= chromaWidth; x += 16)
            store16(x, load(y + x), widen(cb + x / 2), widen(cr + x / 2));
    }
    // The edges (and all of a narrow row) one pixel at a time.
    const auto pixel = [&](int i) {
        uint8_t* p = out + i * 4;
        p[0] = y[i];
        if (halfWidth) {
            const int k = i >> 1;
            const int near = std::clamp(i & 1 ? k + 1 : k - 1, 0, chromaWidth - 1);
            p[1] = uint8_t((3 * cb[k] + cb[near] + 1 + (i & 1)) >> 2);
            p[2] = uint8_t((3 * cr[k] + cr[near] + 1 + (i & 1)) >> 2);
        } else {
            p[1] = cb[i];
            p[2] = cr[i];
        }
        p[3] = 255;
    };
    for (int i = 0; i < std::min(halfWidth ? 16 : 0, width); ++i)
        pixel(i);
    for (; x < width; ++x)
        pixel(x);
}

// JPEG's YCbCr to RGB (full range) in place, in libjpeg's 16-bit fixed
// point; four pixels at a time.
void toRgb(uint8_t* p, int width) {
    const __m128i low = _mm_set1_epi32(0xff), centre = _mm_set1_epi32(128), half = _mm_set1_epi32(1 << 15);
    const __m128i crToR = _mm_set1_epi32(91881), cbToB = _mm_set1_epi32(116130);
    const __m128i cbToG = _mm_set1_epi32(-22554), crToG = _mm_set1_epi32(-46802);
    const __m128i zero = _mm_setzero_si128(), opaque = _mm_set1_epi32(int32_t(0xff000000u));
    const auto convert = [&](__m128i px) {
        const __m128i y = _mm_and_si128(px, low);
        const __m128i cb = _mm_sub_epi32(_mm_and_si128(_mm_srli_epi32(px, 8), low), centre);
        const __m128i cr = _mm_sub_epi32(_mm_and_si128(_mm_srli_epi32(px, 16), low), centre);
        const auto term = [&](__m128i sum) { return _mm_srai_epi32(_mm_add_epi32(sum, half), 16); };
        const auto level = [&](__m128i v) { return _mm_min_epi32(_mm_max_epi32(v, zero), low); };
        const __m128i r = level(_mm_add_epi32(y, term(_mm_mullo_epi32(cr, crToR))));
        const __m128i g = level(
            _mm_add_epi32(y, term(_mm_add_epi32(_mm_mullo_epi32(cb, cbToG), _mm_mullo_epi32(cr, crToG)))));
        const __m128i b = level(_mm_add_epi32(y, term(_mm_mullo_epi32(cb, cbToB))));
        return _mm_or_si128(_mm_or_si128(r, _mm_slli_epi32(g, 8)),
                            _mm_or_si128(_mm_slli_epi32(b, 16), opaque));
    };
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        auto* q = reinterpret_cast<__m128i*>(p + x * 4);
        _mm_storeu_si128(q, convert(_mm_loadu_si128(q)));
    }
    for (; x < width; ++x) {
        int32_t v;
        std::memcpy(&v, p + x * 4, 4);
        v = _mm_cvtsi128_si32(convert(_mm_cvtsi32_si128(v)));
        std::memcpy(p + x * 4, &v, 4);
    }
}

} // namespace

YCbCrScaler::YCbCrScaler(QSize luma, QSize chroma, QSize chromaDivisor, QSize out)
    : luma_(luma)
    , chroma_(chroma)
    , divisor_(chromaDivisor)
    , lumaScaler_(luma.width(), luma.height(), out.width(), out.height())
    // Chroma sample j is centred on luma row (j + 0.5) x divisor.
    , chromaScaler_(chroma.width(), chroma.height(), chroma.width(), out.height(), 1.0,
                    double(out.height()) / std::max(1, luma.height()) * chromaDivisor.height()) {}

int YCbCrScaler::lumaRowsFor(int begin, int end) const {
    const int lumaEnd = lumaScaler_.inputRows(begin, end).second;
    const int chromaEnd = chromaScaler_.inputRows(begin, end).second;
    return std::min(luma_.height(), std::max(lumaEnd, chromaEnd * divisor_.height()));
}

void YCbCrScaler::rows(const Plane planes[3], int begin, int end, uint8_t* out, qsizetype outStride) const {
    thread_local std::vector<uint8_t> scratch;
    const size_t lumaBytes = size_t(luma_.width()), chromaBytes = size_t(chroma_.width());
    scratch.resize(lumaBytes + 2 * chromaBytes + 4 * lumaBytes);
    uint8_t* y = scratch.data();
    uint8_t* cb = y + lumaBytes;
    uint8_t* cr = cb + chromaBytes;
    uint8_t* joined = cr + chromaBytes;
    for (int row = begin; row < end; ++row) {
        lumaScaler_.verticalRow(planes[0].data, planes[0].stride, row, luma_.width(), y);
        chromaScaler_.verticalRow(planes[1].data, planes[1].stride, row, chroma_.width(), cb);
        chromaScaler_.verticalRow(planes[2].data, planes[2].stride, row, chroma_.width(), cr);
        joinRow(y, cb, cr, luma_.width(), chroma_.width(), divisor_.width() == 2, joined);
        uint8_t* target = out + (row - begin) * outStride;
        lumaScaler_.horizontalRow(joined, target);
        toRgb(target, lumaScaler_.outWidth());
    }
}
