#include "SceneNoise.h"

#include <algorithm>
#include <cmath>

namespace {

float smooth(float t) {
    return t * t * (3.0f - 2.0f * t);
}

} // namespace

SceneNoise::SceneNoise(quint32 seed)
    : seed_(seed)
    , tile_(size_t(kTile) * kTile, 0.0f) {
    float amplitude = 1.0f;
    for (int cell = 64, octave = 0; cell >= 2; cell /= 2, ++octave) {
        const int cells = kTile / cell;
        std::vector<float> lattice(size_t(cells) * size_t(cells));
        for (int j = 0; j < cells; ++j)
            for (int i = 0; i < cells; ++i)
                lattice[size_t(j * cells + i)] =
                    unit(hash(quint32(i), quint32(j), seed ^ quint32(octave * 7919)));
        for (int y = 0; y < kTile; ++y) {
            const int j = y / cell;
            const float b = smooth(float(y % cell) / float(cell));
            for (int x = 0; x < kTile; ++x) {
                const int i = x / cell;
                const float a = smooth(float(x % cell) / float(cell));
                const int i1 = (i + 1) % cells;
                const int j1 = (j + 1) % cells;
                const float top =
                    lattice[size_t(j * cells + i)] * (1 - a) + lattice[size_t(j * cells + i1)] * a;
                const float bottom =
                    lattice[size_t(j1 * cells + i)] * (1 - a) + lattice[size_t(j1 * cells + i1)] * a;
                tile_[size_t(y * kTile + x)] += amplitude * (top * (1 - b) + bottom * b);
            }
        }
        amplitude *= 0.55f;
    }
    const auto [low, high] = std::minmax_element(tile_.begin(), tile_.end());
    const float lowest = *low;
    const float range = std::max(*high - lowest, 1e-6f);
    for (float& value : tile_)
        value = (value - lowest) / range;
    for (size_t i = 0; i < lattice_.size(); ++i)
        lattice_[i] = unit(hash(quint32(i), 0x51ed, seed));
}

float SceneNoise::line(float x, int octaves) const {
    float sum = 0;
    float norm = 0;
    float amplitude = 1;
    float frequency = 1;
    for (int octave = 0; octave < octaves; ++octave) {
        const float position = x * frequency + float(octave) * 37.0f;
        const float cell = std::floor(position);
        const auto i = size_t(int(cell)) & (lattice_.size() - 1);
        const float t = smooth(position - cell);
        sum += amplitude * (lattice_[i] * (1 - t) + lattice_[(i + 1) & (lattice_.size() - 1)] * t);
        norm += amplitude;
        amplitude *= 0.5f;
        frequency *= 2.0f;
    }
    return sum / norm;
}
