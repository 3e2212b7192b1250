// Compiled with -mavx2 -mfma (see CMakeLists.txt); called only after the
// processor was found to support AVX2. Plain pointers only: no shared inline
// code may be instantiated here.
#include "LanczosResampler.h"

#include <immintrin.h>

void LanczosResampler::horizontalAvx2(const int* first, const int32_t* spread, int pairCount, int outSize,
                                      const uint8_t* in, uint8_t* out) {
    // Four taps per step: pixels k, k+1 in the low lane, k+2, k+3 in the high
    // lane, each pair's channels interleaved for a 16-bit multiply-add; two
    // output pixels at a time, packed and stored together.
    const __m256i order = _mm256_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1, 8, -1, 12,
                                           -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1);
    const __m128i rounding = _mm_set1_epi32(1 << (kPrecision - 1));
    // The sums of output pixel i, before rounding.
    const auto sums = [&](int i) {
        const uint8_t* src = in + static_cast<ptrdiff_t>(first[i]) * 4;
        const int32_t* w = spread + static_cast<ptrdiff_t>(i) * pairCount * 4;
        __m256i sum = _mm256_setzero_si256();
        int q = 0;
        for (; q + 1 < pairCount; q += 2) {
            const __m256i px = _mm256_shuffle_epi8(
                _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + q * 8))),
                order);
            const __m256i weights = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + q * 4));
            sum = _mm256_add_epi32(sum, _mm256_madd_epi16(px, weights));
        }
        __m128i s = _mm_add_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
        if (q < pairCount) {
            const __m128i px =
                _mm_shuffle_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + q * 8)),
                                 _mm256_castsi256_si128(order));
            s = _mm_add_epi32(
                s, _mm_madd_epi16(px, _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + q * 4))));
        }
        return _mm_srai_epi32(_mm_add_epi32(s, rounding), kPrecision);
    };
    int i = 0;
    for (; i + 2 <= outSize; i += 2) {
        const __m128i pair = _mm_packs_epi32(sums(i), sums(i + 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + static_cast<ptrdiff_t>(i) * 4),
                         _mm_packus_epi16(pair, pair));
    }
    if (i < outSize) {
        const __m128i s = sums(i);
        const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(s, s), s);
        const int32_t v = _mm_cvtsi128_si32(packed);
        __builtin_memcpy(out + static_cast<ptrdiff_t>(i) * 4, &v, 4);
    }
}

void LanczosResampler::verticalAvx2(const uint8_t* const* rows, const int32_t* pairs, int taps, int bytes,
                                    uint8_t* out) {
    const __m256i rounding = _mm256_set1_epi32(1 << (kPrecision - 1));
    const __m256i zero = _mm256_setzero_si256();
    int x = 0;
    for (; x + 32 <= bytes; x += 32) {
        __m256i s0 = rounding, s1 = rounding, s2 = rounding, s3 = rounding;
        for (int k = 0; k < taps; k += 2) {
            const uint8_t* second = rows[k + 1 < taps ? k + 1 : k];
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k] + x));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(second + x));
            const __m256i weights = _mm256_set1_epi32(pairs[k / 2]);
            const __m256i lo = _mm256_unpacklo_epi8(a, b);
            const __m256i hi = _mm256_unpackhi_epi8(a, b);
            s0 = _mm256_add_epi32(s0, _mm256_madd_epi16(_mm256_unpacklo_epi8(lo, zero), weights));
            s1 = _mm256_add_epi32(s1, _mm256_madd_epi16(_mm256_unpackhi_epi8(lo, zero), weights));
            s2 = _mm256_add_epi32(s2, _mm256_madd_epi16(_mm256_unpacklo_epi8(hi, zero), weights));
            s3 = _mm256_add_epi32(s3, _mm256_madd_epi16(_mm256_unpackhi_epi8(hi, zero), weights));
        }
        s0 = _mm256_srai_epi32(s0, kPrecision);
        s1 = _mm256_srai_epi32(s1, kPrecision);
        s2 = _mm256_srai_epi32(s2, kPrecision);
        s3 = _mm256_srai_epi32(s3, kPrecision);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x),
                            _mm256_packus_epi16(_mm256_packs_epi32(s0, s1), _mm256_packs_epi32(s2, s3)));
    }
    verticalTail(rows, pairs, taps, x, bytes, out);
}
