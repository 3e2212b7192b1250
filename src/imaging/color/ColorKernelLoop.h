#pragma once

// The pixel loop of ColorKernel, written once with GCC vector extensions of
// COLOR_LOOP_WIDTH floats and compiled twice: for the x86-64-v2 baseline
// (4 lanes) in ColorKernel.cpp and for AVX2 + FMA (8 lanes) in
// ColorKernelAvx2.cpp. Everything here has internal linkage and touches only
// ColorKernelArgs.

#ifndef COLOR_LOOP_WIDTH
#error "define COLOR_LOOP_WIDTH before including ColorKernelLoop.h"
#endif

#include "ColorKernelArgs.h"

#include <cstddef>
#include <cstdint>

#include <immintrin.h>

namespace {
namespace colorloop {

using namespace ColorKernelArgs;

constexpr int kBlock = 64;

// The curves are short chains of dependent multiply-adds; inlined into the
// step loops, the chains of neighbouring vectors overlap.
#define COLOR_INLINE inline __attribute__((always_inline))

constexpr int W = COLOR_LOOP_WIDTH;

struct V {
    typedef float F __attribute__((vector_size(4 * W)));
    typedef int32_t I __attribute__((vector_size(4 * W)));

    static COLOR_INLINE F load(const float* p) {
        F v;
        __builtin_memcpy(&v, p, sizeof v);
        return v;
    }
    static COLOR_INLINE void store(float* p, F v) { __builtin_memcpy(p, &v, sizeof v); }
    static COLOR_INLINE F splat(float s) { return F{} + s; }
    static COLOR_INLINE F min(F a, F b) { return a < b ? a : b; }
    static COLOR_INLINE F max(F a, F b) { return a > b ? a : b; }
    static COLOR_INLINE F abs(F x) { return (F)((I)x & 0x7fffffff); }
    static COLOR_INLINE F withSignOf(F magnitude, F sign) {
        return (F)((I)magnitude | ((I)sign & int32_t(0x80000000)));
    }

    // log2 of x > 0 (normal numbers): exponent plus a degree-5 Chebyshev fit
    // of log2(1 + u) on [0, 1], absolute error below 2e-5.
    static COLOR_INLINE F log2(F x) {
        const I bits = (I)x;
        const I exponent = ((bits >> 23) & 0xff) - 127;
        const F u = (F)((bits & 0x7fffff) | 0x3f800000) - 1.0f;
        F p = splat(0.0430049578f);
        p = p * u - 0.187488605f;
        p = p * u + 0.409470299f;
        p = p * u - 0.706486449f;
        p = p * u + 1.44149241f;
        p = p * u + 1.65146709e-05f;
        return p + __builtin_convertvector(exponent, F);
    }

    // 2^y: integer part into the exponent, a degree-4 fit of 2^f on [0, 1)
    // (relative error 4e-6). Together a power is good to 5e-5, a hundredth
    // of an 8-bit level.
    static COLOR_INLINE F exp2(F y) {
        y = min(max(y, splat(-126.0f)), splat(127.0f));
        I n = __builtin_convertvector(y, I);
        n += (I)(__builtin_convertvector(n, F) > y); // truncation towards zero to floor
        const F f = y - __builtin_convertvector(n, F);
        F p = splat(0.0136703095f);
        p = p * f + 0.0517449978f;
        p = p * f + 0.241604357f;
        p = p * f + 0.692972922f;
        p = p * f + 1.00000349f;
        return (F)((I)p + (n << 23));
    }

    static constexpr float exp2Of(int n) { return n >= 0 ? float(1u << n) : 1.0f / float(1u << -n); }

    static COLOR_INLINE F pow(F x, float e) {
        const F safe = max(x, splat(1e-30f));
        return x > 1e-30f ? exp2(log2(safe) * e) : F{};
    }

    static COLOR_INLINE F sqrt(F x) {
#if COLOR_LOOP_WIDTH == 8
        return (F)_mm256_sqrt_ps((__m256)x);
#else
        return (F)_mm_sqrt_ps((__m128)x);
#endif
    }

    static COLOR_INLINE bool anyAbove(F x, float limit) {
        const F above = (F)(x > limit);
#if COLOR_LOOP_WIDTH == 8
        return _mm256_movemask_ps((__m256)above) != 0;
#else
        return _mm_movemask_ps((__m128)above) != 0;
#endif
    }

    // The sRGB curve, both ways, on all reals (odd symmetry). Within [0, 1]
    // the powers are polynomials of roots, on which they are smooth (errors
    // below 1e-5); beyond, the general power.
    static COLOR_INLINE F encode(F x) {
        const F a = abs(x);
        F curved;
        if (anyAbove(a, 1.0f)) {
            curved = pow(a, 1.0f / 2.4f) * 1.055f - 0.055f;
        } else {
            // x^(1/2.4) = q^(5/3) for q = x^(1/4) in [0.237, 1], degree 6.
            const F q = sqrt(sqrt(max(a, splat(0.0031308f))));
            F p = splat(0.0585159313f);
            p = p * q - 0.278907713f;
            p = p * q + 0.588627757f;
            p = p * q - 0.78225594f;
            p = p * q + 1.28395512f;
            p = p * q + 0.134557595f;
            p = p * q - 0.00449195389f;
            curved = p * 1.055f - 0.055f;
        }
        return withSignOf(a <= 0.0031308f ? a * 12.92f : curved, x);
    }

    static COLOR_INLINE F decode(F x) {
        const F a = abs(x);
        F curved;
        if (anyAbove(a, 1.0f)) {
            curved = pow((a + 0.055f) * (1.0f / 1.055f), 2.4f);
        } else {
            // t^2.4 = t^2 u^0.8 for u = sqrt(t) in [0.30, 1], u^0.8 of degree 5.
            const F t = (max(a, splat(0.04045f)) + 0.055f) * (1.0f / 1.055f);
            const F u = sqrt(t);
            F p = splat(0.087975149f);
            p = p * u - 0.372494036f;
            p = p * u + 0.67842689f;
            p = p * u - 0.753602521f;
            p = p * u + 1.32242875f;
            p = p * u + 0.0372697258f;
            curved = t * t * p;
        }
        return withSignOf(a <= 0.04045f ? a * (1.0f / 12.92f) : curved, x);
    }

    // table[i] and table[i + 1] for each lane. Each pair is one 8-byte load:
    // cheaper than two gathers, which are slow on many processors.
    static COLOR_INLINE void neighbours(const float* table, I i, F& lo, F& hi) {
#if COLOR_LOOP_WIDTH == 8
        long long pair[8];
        for (int lane = 0; lane < 8; ++lane)
            __builtin_memcpy(&pair[lane], table + i[lane], 8);
        // Ordered so that the in-lane shuffles leave lanes 0..7 in order.
        const __m256 a = _mm256_castsi256_ps(_mm256_setr_epi64x(pair[0], pair[1], pair[4], pair[5]));
        const __m256 b = _mm256_castsi256_ps(_mm256_setr_epi64x(pair[2], pair[3], pair[6], pair[7]));
        lo = (F)_mm256_shuffle_ps(a, b, 0x88);
        hi = (F)_mm256_shuffle_ps(a, b, 0xdd);
#else
        long long pair[4];
        for (int lane = 0; lane < 4; ++lane)
            __builtin_memcpy(&pair[lane], table + i[lane], 8);
        const __m128 a = _mm_castsi128_ps(_mm_set_epi64x(pair[1], pair[0]));
        const __m128 b = _mm_castsi128_ps(_mm_set_epi64x(pair[3], pair[2]));
        lo = (F)_mm_shuffle_ps(a, b, 0x88);
        hi = (F)_mm_shuffle_ps(a, b, 0xdd);
#endif
    }

    // A curve table (kCurveSamples over [0, 1]) at clamped v, interpolated.
    static COLOR_INLINE F curve(const float* table, F v) {
        v = min(max(v, F{}), splat(1.0f)) * float(kCurveSamples - 1);
        I i = __builtin_convertvector(v, I);
        i = i > kCurveSamples - 2 ? I{} + (kCurveSamples - 2) : i;
        const F f = v - __builtin_convertvector(i, F);
        F lo, hi;
        neighbours(table, i, lo, hi);
        return lo + f * (hi - lo);
    }
};

struct Block {
    alignas(64) float r[kBlock];
    alignas(64) float g[kBlock];
    alignas(64) float b[kBlock];
    alignas(64) int32_t index[3][kBlock];
    uint8_t alpha[kBlock];
};

inline void readPixels(const Rows& a, const unsigned char* p, int n, Block& k) {
    const float* d = a.decode;
    switch (a.sourceFormat) {
    case rgba8:
        for (int i = 0; i < n; ++i, p += a.sourceX) {
            k.r[i] = d[p[0]];
            k.g[i] = d[256 + p[1]];
            k.b[i] = d[512 + p[2]];
            k.alpha[i] = p[3];
        }
        break;
    case bgra8:
        for (int i = 0; i < n; ++i, p += a.sourceX) {
            k.r[i] = d[p[2]];
            k.g[i] = d[256 + p[1]];
            k.b[i] = d[512 + p[0]];
            k.alpha[i] = p[3];
        }
        break;
    case rgb8:
        for (int i = 0; i < n; ++i, p += a.sourceX) {
            k.r[i] = d[p[0]];
            k.g[i] = d[256 + p[1]];
            k.b[i] = d[512 + p[2]];
            k.alpha[i] = 255;
        }
        break;
    case rgb16:
        for (int i = 0; i < n; ++i, p += a.sourceX) {
            uint16_t v[3];
            __builtin_memcpy(v, p, sizeof v);
            k.r[i] = float(v[0]) * (1.0f / 65535.0f);
            k.g[i] = float(v[1]) * (1.0f / 65535.0f);
            k.b[i] = float(v[2]) * (1.0f / 65535.0f);
            k.alpha[i] = 255;
        }
        break;
    }
}

// A `table` step on v: the two samples either side of it, interpolated.
// Above 2^kTableLowest the float's bits give the sample (exponent and top
// mantissa bits) and the fraction (the rest of the mantissa); below, the
// first segment runs from 0; beyond 16 the last sample holds.
COLOR_INLINE V::F sampled(const float* table, V::F v) {
    using L = V;
    using F = L::F;
    using I = L::I;
    const I bits = (I)v;
    const I magnitude = bits & 0x7fffffff;
    const I tiny = magnitude < kTableLowestBits;
    const I huge = magnitude >= kTableHighestBits;
    I i = ((magnitude - kTableLowestBits) >> kTableShift) + 1;
    F f = __builtin_convertvector(magnitude & ((1 << kTableShift) - 1), F) * (1.0f / (1 << kTableShift));
    i = tiny ? I{} : i;
    f = tiny ? L::abs(v) * (1.0f / L::exp2Of(kTableLowest)) : f;
    i = huge ? I{} + (kTableHalf - 2) : i;
    f = huge ? L::splat(1.0f) : f;
    i += bits < 0 ? I{} : I{} + kTableHalf;
    F lo, hi;
    L::neighbours(table, i, lo, hi);
    return lo + f * (hi - lo);
}

// All steps over a block, one step at a time: each step is a short loop over
// the block's 64 colours with independent iterations, so the long chains of
// the curves overlap and the step's kind is looked at once per block.
inline void runSteps(const Rows& a, Block& k) {
    using L = V;
    using F = L::F;
    float* channels[3] = {k.r, k.g, k.b};
    for (int s = 0; s < a.stepCount; ++s) {
        const Step& step = a.steps[s];
        switch (step.kind) {
        case affine: {
            const float* m = step.m;
            for (int i = 0; i < kBlock; i += W) {
                const F r = L::load(k.r + i), g = L::load(k.g + i), b = L::load(k.b + i);
                L::store(k.r + i, r * m[0] + g * m[1] + b * m[2] + m[3]);
                L::store(k.g + i, r * m[4] + g * m[5] + b * m[6] + m[7]);
                L::store(k.b + i, r * m[8] + g * m[9] + b * m[10] + m[11]);
            }
            break;
        }
        case encode:
            for (float* c : channels)
                for (int i = 0; i < kBlock; i += W)
                    L::store(c + i, L::encode(L::load(c + i)));
            break;
        case decode:
            for (float* c : channels)
                for (int i = 0; i < kBlock; i += W)
                    L::store(c + i, L::decode(L::load(c + i)));
            break;
        case curve:
            for (int ch = 0; ch < 3; ++ch) {
                const float* table = step.curve + ch * kCurveSamples;
                for (int i = 0; i < kBlock; i += W)
                    L::store(channels[ch] + i, L::curve(table, L::load(channels[ch] + i)));
            }
            break;
        case table:
            for (int ch = 0; ch < 3; ++ch) {
                const float* samples = step.curve + ch * kTableSamples;
                for (int i = 0; i < kBlock; i += W)
                    L::store(channels[ch] + i, sampled(samples, L::load(channels[ch] + i)));
            }
            break;
        case vibrance: {
            const float* w = step.m;
            for (int i = 0; i < kBlock; i += W) {
                F r = L::load(k.r + i), g = L::load(k.g + i), b = L::load(k.b + i);
                const F mx = L::max(L::max(r, g), b);
                const F mn = L::min(L::min(r, g), b);
                const F ratio = (mx - mn) / L::max(mx, L::splat(1e-6f));
                const F sat = mx > 1e-6f ? L::min(L::max(ratio, F{}), L::splat(1.0f)) : F{};
                const F f = (1.0f - sat) * step.amount + 1.0f;
                const F y = r * w[0] + g * w[1] + b * w[2];
                L::store(k.r + i, y + f * (r - y));
                L::store(k.g + i, y + f * (g - y));
                L::store(k.b + i, y + f * (b - y));
            }
            break;
        }
        default:
            break;
        }
    }
}

inline void writePixels(const Rows& a, unsigned char* p, int n, Block& k) {
    using L = V;
    using F = typename L::F;
    using I = typename L::I;
    constexpr float scale = kEncodeSize - 1;
    const float* channels[3] = {k.r, k.g, k.b};
    for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < kBlock; i += W) {
            const F v = L::min(L::max(L::load(channels[c] + i), F{}), L::splat(1.0f));
            const I index = __builtin_convertvector(v * scale + 0.5f, I);
            __builtin_memcpy(k.index[c] + i, &index, sizeof index);
        }
    }
    const uint8_t* e = a.encode;
    const bool opaque = a.opaque;
    if (a.targetFormat == bgra8) {
        for (int i = 0; i < n; ++i, p += a.targetX) {
            p[0] = e[k.index[2][i]];
            p[1] = e[k.index[1][i]];
            p[2] = e[k.index[0][i]];
            p[3] = opaque ? 255 : k.alpha[i];
        }
    } else if (a.targetFormat == rgb8) {
        for (int i = 0; i < n; ++i, p += a.targetX) {
            p[0] = e[k.index[0][i]];
            p[1] = e[k.index[1][i]];
            p[2] = e[k.index[2][i]];
        }
    } else {
        for (int i = 0; i < n; ++i, p += a.targetX) {
            p[0] = e[k.index[0][i]];
            p[1] = e[k.index[1][i]];
            p[2] = e[k.index[2][i]];
            p[3] = opaque ? 255 : k.alpha[i];
        }
    }
}

// Runs the steps on n colours in place (used to fill the lookup table).
inline void evaluate(const Rows& a, float* r, float* g, float* b, int n) {
    Block k;
    for (int x = 0; x < n; x += kBlock) {
        const int count = n - x < kBlock ? n - x : kBlock;
        for (int i = 0; i < kBlock; ++i) {
            k.r[i] = i < count ? r[x + i] : 0.0f;
            k.g[i] = i < count ? g[x + i] : 0.0f;
            k.b[i] = i < count ? b[x + i] : 0.0f;
        }
        runSteps(a, k);
        for (int i = 0; i < count; ++i) {
            r[x + i] = k.r[i];
            g[x + i] = k.g[i];
            b[x + i] = k.b[i];
        }
    }
}

inline void runRows(const Rows& a, int rowBegin, int rowEnd) {
    Block k;
    for (int i = 0; i < kBlock; ++i) {
        k.r[i] = k.g[i] = k.b[i] = 0;
        k.alpha[i] = 255;
    }
    for (int y = rowBegin; y < rowEnd; ++y) {
        const unsigned char* in = a.source + y * a.sourceY;
        unsigned char* out = a.target + y * a.targetY;
        for (int x = 0; x < a.width; x += kBlock) {
            const int n = a.width - x < kBlock ? a.width - x : kBlock;
            readPixels(a, in + x * a.sourceX, n, k);
            runSteps(a, k);
            writePixels(a, out + x * a.targetX, n, k);
        }
    }
}

} // namespace colorloop
} // namespace
