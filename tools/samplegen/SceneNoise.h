#pragma once

#include <QtGlobal>

#include <array>
#include <cmath>
#include <vector>

// Deterministic noise for procedural scenes: an integer hash, a tileable 2D
// fractal value-noise tile and a 1D fractal line, all fixed by one seed.
// Read-only after construction, so many threads may sample one instance.
class SceneNoise {
public:
    static constexpr int kTile = 256;

    explicit SceneNoise(quint32 seed);

    static quint32 hash(quint32 x, quint32 y, quint32 seed) {
        quint32 h = x * 0x9e3779b1u ^ mix(y + seed * 0x85ebca6bu);
        return mix(h);
    }
    static float unit(quint32 h) { return float(h >> 8) * (1.0f / 16777216.0f); }

    // Fractal noise in [0, 1]; (u, v) in tile pixels, repeating every kTile.
    float at(float u, float v) const {
        const float fu = std::floor(u);
        const float fv = std::floor(v);
        const int iu = int(fu) & (kTile - 1);
        const int iv = int(fv) & (kTile - 1);
        const float a = u - fu;
        const float b = v - fv;
        const int iu1 = (iu + 1) & (kTile - 1);
        const int iv1 = (iv + 1) & (kTile - 1);
        const float* row0 = tile_.data() + iv * kTile;
        const float* row1 = tile_.data() + iv1 * kTile;
        const float top = row0[iu] + (row0[iu1] - row0[iu]) * a;
        const float bottom = row1[iu] + (row1[iu1] - row1[iu]) * a;
        return top + (bottom - top) * b;
    }

    // Fractal noise in [0, 1] along a line; features about one unit of x wide
    // at the first octave.
    float line(float x, int octaves) const;

private:
    static quint32 mix(quint32 h) {
        h ^= h >> 16;
        h *= 0x7feb352du;
        h ^= h >> 15;
        h *= 0x846ca68bu;
        h ^= h >> 16;
        return h;
    }

    quint32 seed_;
    std::vector<float> tile_;
    std::array<float, 1024> lattice_{};
};
