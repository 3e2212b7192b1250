// Compiled with -mavx2 -mfma (see CMakeLists.txt); called only after the
// processor was found to support both.
#include "ColorKernel.h"

#define COLOR_LOOP_WIDTH 8
#include "ColorKernelLoop.h"

void ColorKernel::rowsAvx2(const ColorKernelArgs::Rows& rows, int rowBegin, int rowEnd) {
    colorloop::runRows(rows, rowBegin, rowEnd);
}

void ColorKernel::evaluateAvx2(const ColorKernelArgs::Rows& rows, float* r, float* g, float* b, int n) {
    colorloop::evaluate(rows, r, g, b, n);
}

#include <immintrin.h>

// One matrix between table decode and table encode, eight RGBA pixels at a
// time with gathers: the colour conversion of every decoded photo.
void ColorKernel::affineRowsAvx2(const ColorKernelArgs::Rows& a, int rowBegin, int rowEnd) {
    const float* m = a.stepCount == 1 ? a.steps[0].m : nullptr;
    const __m256 m0 = _mm256_set1_ps(m ? m[0] : 1), m1 = _mm256_set1_ps(m ? m[1] : 0),
                 m2 = _mm256_set1_ps(m ? m[2] : 0), m3 = _mm256_set1_ps(m ? m[3] : 0);
    const __m256 m4 = _mm256_set1_ps(m ? m[4] : 0), m5 = _mm256_set1_ps(m ? m[5] : 1),
                 m6 = _mm256_set1_ps(m ? m[6] : 0), m7 = _mm256_set1_ps(m ? m[7] : 0);
    const __m256 m8 = _mm256_set1_ps(m ? m[8] : 0), m9 = _mm256_set1_ps(m ? m[9] : 0),
                 m10 = _mm256_set1_ps(m ? m[10] : 1), m11 = _mm256_set1_ps(m ? m[11] : 0);
    const __m256i low = _mm256_set1_epi32(0xff);
    const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f);
    const __m256 scale = _mm256_set1_ps(float(ColorKernelArgs::kEncodeSize - 1));
    const __m256 half = _mm256_set1_ps(0.5f);
    const __m256i opaqueAlpha = _mm256_set1_epi32(int32_t(0xff000000u));
    const int* encode = reinterpret_cast<const int*>(a.encode);
    const bool bgra = a.targetFormat == ColorKernelArgs::bgra8;

    const auto index = [&](__m256 v) {
        v = _mm256_min_ps(_mm256_max_ps(v, zero), one);
        return _mm256_cvttps_epi32(_mm256_fmadd_ps(v, scale, half));
    };
    for (int y = rowBegin; y < rowEnd; ++y) {
        const unsigned char* in = a.source + y * a.sourceY;
        unsigned char* out = a.target + y * a.targetY;
        int x = 0;
        for (; x + 8 <= a.width; x += 8) {
            const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + x * 4));
            const __m256i ri = _mm256_and_si256(px, low);
            const __m256i gi = _mm256_and_si256(_mm256_srli_epi32(px, 8), low);
            const __m256i bi = _mm256_and_si256(_mm256_srli_epi32(px, 16), low);
            const __m256 r = _mm256_i32gather_ps(a.decode, ri, 4);
            const __m256 g = _mm256_i32gather_ps(a.decode + 256, gi, 4);
            const __m256 b = _mm256_i32gather_ps(a.decode + 512, bi, 4);
            const __m256 nr = _mm256_fmadd_ps(m0, r, _mm256_fmadd_ps(m1, g, _mm256_fmadd_ps(m2, b, m3)));
            const __m256 ng = _mm256_fmadd_ps(m4, r, _mm256_fmadd_ps(m5, g, _mm256_fmadd_ps(m6, b, m7)));
            const __m256 nb = _mm256_fmadd_ps(m8, r, _mm256_fmadd_ps(m9, g, _mm256_fmadd_ps(m10, b, m11)));
            const __m256i er = _mm256_and_si256(_mm256_i32gather_epi32(encode, index(nr), 1), low);
            const __m256i eg = _mm256_and_si256(_mm256_i32gather_epi32(encode, index(ng), 1), low);
            const __m256i eb = _mm256_and_si256(_mm256_i32gather_epi32(encode, index(nb), 1), low);
            const __m256i alpha =
                a.opaque ? opaqueAlpha : _mm256_andnot_si256(_mm256_set1_epi32(0xffffff), px);
            const __m256i first = bgra ? eb : er;
            const __m256i third = bgra ? er : eb;
            const __m256i result = _mm256_or_si256(_mm256_or_si256(first, _mm256_slli_epi32(eg, 8)),
                                                   _mm256_or_si256(_mm256_slli_epi32(third, 16), alpha));
            if (a.targetX == 4) {
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x * 4), result);
            } else {
                alignas(32) int32_t lanes[8];
                _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), result);
                unsigned char* p = out + x * a.targetX;
                for (int i = 0; i < 8; ++i, p += a.targetX)
                    __builtin_memcpy(p, &lanes[i], 4);
            }
        }
        if (x < a.width) {
            ColorKernelArgs::Rows rest = a;
            rest.source = in + x * 4;
            rest.target = out + x * a.targetX;
            rest.width = a.width - x;
            colorloop::runRows(rest, 0, 1);
        }
    }
}
