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

namespace {
namespace colorloop {

using namespace ColorKernelArgs;

constexpr int kBlock = 64;

constexpr int W = COLOR_LOOP_WIDTH;

struct V {
    typedef float F __attribute__((vector_size(4 * W)));
    typedef int32_t I __attribute__((vector_size(4 * W)));

    static F load(const float* p) {
        F v;
        __builtin_memcpy(&v, p, sizeof v);
        return v;
    }
    static void store(float* p, F v) { __builtin_memcpy(p, &v, sizeof v); }
    static F splat(float s) { return F{} + s; }
    static F min(F a, F b) { return a < b ? a : b; }
    static F max(F a, F b) { return a > b ? a : b; }
    static F abs(F x) { return (F)((I)x & 0x7fffffff); }
    static F withSignOf(F magnitude, F sign) { return (F)((I)magnitude | ((I)sign & int32_t(0x80000000))); }

    // log2 of x > 0 (normal numbers): exponent plus a degree-7 Chebyshev fit
    // of log2(1 + u) on [0, 1], absolute error below 4e-7.
    static F log2(F x) {
        const I bits = (I)x;
        const I exponent = ((bits >> 23) & 0xff) - 127;
        const F u = (F)((bits & 0x7fffff) | 0x3f800000) - 1.0f;
        F p = splat(0.0144403525f);
        p = p * u - 0.0756513747f;
        p = p * u + 0.188752738f;
        p = p * u - 0.321960285f;
        p = p * u + 0.472086916f;
        p = p * u - 0.720316064f;
        p = p * u + 1.44264755f;
        p = p * u + 3.68561409e-07f;
        return p + __builtin_convertvector(exponent, F);
    }

    // 2^y: integer part into the exponent, a degree-5 fit of 2^f on [0, 1)
    // (relative error 1e-7).
    static F exp2(F y) {
        y = min(max(y, splat(-126.0f)), splat(127.0f));
        I n = __builtin_convertvector(y, I);
        n += (I)(__builtin_convertvector(n, F) > y); // truncation towards zero to floor
        const F f = y - __builtin_convertvector(n, F);
        F p = splat(0.00189375406f);
        p = p * f + 0.00894959042f;
        p = p * f + 0.0558603371f;
        p = p * f + 0.240141818f;
        p = p * f + 0.69315449f;
        p = p * f + 0.999999898f;
        return (F)((I)p + (n << 23));
    }

    static F pow(F x, float e) {
        const F safe = max(x, splat(1e-30f));
        return x > 1e-30f ? exp2(log2(safe) * e) : F{};
    }

    static F encode(F x) {
        const F a = abs(x);
        const F curved = pow(a, 1.0f / 2.4f) * 1.055f - 0.055f;
        return withSignOf(a <= 0.0031308f ? a * 12.92f : curved, x);
    }

    static F decode(F x) {
        const F a = abs(x);
        const F curved = pow((a + 0.055f) * (1.0f / 1.055f), 2.4f);
        return withSignOf(a <= 0.04045f ? a * (1.0f / 12.92f) : curved, x);
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

inline float curveAt(const float* table, float v) {
    v = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
    const float t = v * (kCurveSamples - 1);
    int i = static_cast<int>(t);
    i = i > kCurveSamples - 2 ? kCurveSamples - 2 : i;
    const float f = t - static_cast<float>(i);
    return table[i] + f * (table[i + 1] - table[i]);
}

inline void runSteps(const Rows& a, Block& k) {
    using L = V;
    using F = typename L::F;
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
            for (int i = 0; i < kBlock; i += W) {
                L::store(k.r + i, L::encode(L::load(k.r + i)));
                L::store(k.g + i, L::encode(L::load(k.g + i)));
                L::store(k.b + i, L::encode(L::load(k.b + i)));
            }
            break;
        case decode:
            for (int i = 0; i < kBlock; i += W) {
                L::store(k.r + i, L::decode(L::load(k.r + i)));
                L::store(k.g + i, L::decode(L::load(k.g + i)));
                L::store(k.b + i, L::decode(L::load(k.b + i)));
            }
            break;
        case curve: {
            const float* c = step.curve;
            for (int i = 0; i < kBlock; ++i) {
                k.r[i] = curveAt(c, k.r[i]);
                k.g[i] = curveAt(c + kCurveSamples, k.g[i]);
                k.b[i] = curveAt(c + 2 * kCurveSamples, k.b[i]);
            }
            break;
        }
        case vibrance: {
            const float* w = step.m;
            for (int i = 0; i < kBlock; i += W) {
                const F r = L::load(k.r + i), g = L::load(k.g + i), b = L::load(k.b + i);
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

// Tetrahedral interpolation in the table of the whole transform: the cube
// around the colour is cut into six tetrahedra along its grey diagonal, and
// the colour is weighted between the four corners of its own.
inline void readThroughLut(const Rows& a, const unsigned char* p, int n, Block& k) {
    typedef float F4 __attribute__((vector_size(16)));
    constexpr int dB = 4, dG = kLutSize * 4, dR = kLutSize * kLutSize * 4;
    constexpr float toGrid = (kLutSize - 1) / 255.0f;
    const int rOffset = a.sourceFormat == bgra8 ? 2 : 0;
    const int bOffset = 2 - rOffset;
    const bool hasAlpha = a.sourceFormat == rgba8 || a.sourceFormat == bgra8;
    for (int i = 0; i < n; ++i, p += a.sourceX) {
        const float pr = p[rOffset] * toGrid, pg = p[1] * toGrid, pb = p[bOffset] * toGrid;
        int ir = static_cast<int>(pr), ig = static_cast<int>(pg), ib = static_cast<int>(pb);
        ir = ir > kLutSize - 2 ? kLutSize - 2 : ir;
        ig = ig > kLutSize - 2 ? kLutSize - 2 : ig;
        ib = ib > kLutSize - 2 ? kLutSize - 2 : ib;
        const float fr = pr - static_cast<float>(ir), fg = pg - static_cast<float>(ig),
                    fb = pb - static_cast<float>(ib);
        // Written for conditional moves rather than branches (noise makes the
        // order of the fractions random): the largest fraction steps along
        // its axis first, the smallest last.
        const bool rMax = fr >= fg && fr >= fb;
        const bool gMax = !rMax && fg >= fb;
        const float x = rMax ? fr : (gMax ? fg : fb);
        const float z = rMax ? (fg < fb ? fg : fb) : (gMax ? (fr < fb ? fr : fb) : (fr < fg ? fr : fg));
        const float y = fr + fg + fb - x - z;
        const int o1 = rMax ? dR : (gMax ? dG : dB);
        const int last = rMax ? (fg <= fb ? dG : dB) : (gMax ? (fr <= fb ? dR : dB) : (fr <= fg ? dR : dG));
        const int o2 = dR + dG + dB - last;
        const float* base = a.lut + ir * dR + ig * dG + ib * dB;
        F4 v0, v1, v2, v3;
        __builtin_memcpy(&v0, base, 16);
        __builtin_memcpy(&v1, base + o1, 16);
        __builtin_memcpy(&v2, base + o2, 16);
        __builtin_memcpy(&v3, base + dR + dG + dB, 16);
        const F4 v = v0 * (1.0f - x) + v1 * (x - y) + v2 * (y - z) + v3 * z;
        k.r[i] = v[0];
        k.g[i] = v[1];
        k.b[i] = v[2];
        k.alpha[i] = hasAlpha ? p[3] : 255;
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
            if (a.lut) {
                readThroughLut(a, in + x * a.sourceX, n, k);
            } else {
                readPixels(a, in + x * a.sourceX, n, k);
                runSteps(a, k);
            }
            writePixels(a, out + x * a.targetX, n, k);
        }
    }
}

} // namespace colorloop
} // namespace
