#include "SyntheticScene.h"

#include "SceneNoise.h"
#include "SceneRecipe.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sys/mman.h>
#include <thread>
#include <vector>

namespace {

using Rgb = SceneRecipe::Rgb;
using LayerType = SceneRecipe::LayerType;

Rgb mix(Rgb a, Rgb b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb scaled(Rgb c, float f) {
    return {c.r * f, c.g * f, c.b * f};
}

Rgb plus(Rgb c, float v) {
    return {c.r + v, c.g + v, c.b + v};
}

float clamp01(float v) {
    return std::clamp(v, 0.0f, 1.0f);
}

uchar level(float v) {
    return uchar(std::clamp(int(v + 0.5f), 0, 255));
}

// Where one layer begins in each column, and for a skyline which building
// each column belongs to.
struct LayerShape {
    std::vector<float> top;
    std::vector<int> building;
    std::vector<float> buildingLeft;
};

class Renderer {
public:
    Renderer(QSize size, const SyntheticScene::Options& options)
        : recipe_(SceneRecipe::forKind(options.kind))
        , noise_(options.seed)
        , seed_(options.seed)
        , width_(size.width())
        , height_(size.height())
        , h_(float(size.height()))
        , noiseLevel_(float(options.noise)) {
        for (size_t k = 0; k < recipe_.layers.size(); ++k)
            shapes_.push_back(shapeOf(k));
        vignetteX_.resize(size_t(width_));
        for (int x = 0; x < width_; ++x) {
            const float d = 2.0f * float(x) / float(width_) - 1.0f;
            vignetteX_[size_t(x)] = 1.0f - recipe_.vignette * 0.5f * d * d;
        }
        // The sky's gradient depends on the row only.
        skyRows_.resize(size_t(height_));
        cloudFade_.resize(size_t(height_));
        for (int y = 0; y < height_; ++y) {
            const float t = clamp01(float(y) / (h_ * recipe_.horizon));
            skyRows_[size_t(y)] = mix(recipe_.skyTop, recipe_.skyHorizon, std::pow(t, 1.3f));
            cloudFade_[size_t(y)] = std::sqrt(1.0f - t);
        }
        vignetteY_.resize(size_t(height_));
        for (int y = 0; y < height_; ++y) {
            const float d = 2.0f * float(y) / float(height_) - 1.0f;
            vignetteY_[size_t(y)] = 1.0f - recipe_.vignette * 0.5f * d * d;
        }
    }

    void rows(uchar* pixels, qsizetype bytesPerLine, int first, int last) const {
        const size_t layers = recipe_.layers.size();
        for (int y = first; y < last; ++y) {
            uchar* line = pixels + qsizetype(y) * bytesPerLine;
            const float fy = float(y);
            const float vy = vignetteY_[size_t(y)];
            for (int x = 0; x < width_; ++x) {
                Rgb c = sceneAt(x, fy, layers);
                c = scaled(c, vignetteX_[size_t(x)] * vy);
                if (noiseLevel_ > 0) {
                    // Sensor noise: mostly luminance, a little colour.
                    const quint32 a = SceneNoise::hash(quint32(x), quint32(y), seed_ ^ 0x5eed1234u);
                    const quint32 b = SceneNoise::hash(quint32(x), quint32(y), seed_ ^ 0x0c0ffeeu);
                    const float luma =
                        (float((a & 0xff) + ((a >> 8) & 0xff) + ((a >> 16) & 0xff) + (a >> 24)) / 255.0f -
                         2.0f) *
                        1.732f * noiseLevel_;
                    const float red = (float(b & 0xff) / 255.0f - 0.5f) * 0.7f * noiseLevel_;
                    const float blue = (float((b >> 8) & 0xff) / 255.0f - 0.5f) * 0.7f * noiseLevel_;
                    c = {c.r + luma + red, c.g + luma, c.b + luma + blue};
                }
                line[3 * x] = level(c.r);
                line[3 * x + 1] = level(c.g);
                line[3 * x + 2] = level(c.b);
            }
        }
    }

private:
    LayerShape shapeOf(size_t k) const {
        const SceneRecipe::Layer& layer = recipe_.layers[k];
        LayerShape shape;
        shape.top.resize(size_t(width_));
        const float offset = float(k) * 13.7f + float(seed_ % 1000) * 0.37f;
        for (int x = 0; x < width_; ++x) {
            // Fractal sums crowd around the middle; spread them over the whole range.
            float n = clamp01(
                0.5f + (noise_.line(float(x) / h_ * layer.frequency + offset, layer.octaves) - 0.5f) * 2.2f);
            if (layer.ridged)
                n = std::pow(1.0f - std::abs(2.0f * n - 1.0f), 1.6f);
            shape.top[size_t(x)] = h_ * (layer.base - layer.amplitude * n);
        }
        const quint32 layerSeed = seed_ * 31u + quint32(k) * 7u;
        auto unitAt = [&](quint32 i, quint32 j) {
            return SceneNoise::unit(SceneNoise::hash(i, j, layerSeed));
        };
        if (layer.type == LayerType::conifers || layer.type == LayerType::broadleaves) {
            const std::vector<float> ground = shape.top;
            const float spacing = layer.treeWidth * h_;
            quint32 i = 0;
            for (float centre = -spacing; centre < float(width_) + spacing; ++i) {
                const float treeHeight = layer.treeHeight * h_ * (0.6f + 0.6f * unitAt(i, 1));
                // A broadleaf crown is about as wide as the tree is tall.
                const float halfWidth =
                    std::max(1.5f, (layer.type == LayerType::conifers ? spacing * 0.5f : treeHeight * 0.45f) *
                                       (0.8f + 0.5f * unitAt(i, 2)));
                const int from = std::max(0, int(centre - halfWidth));
                const int to = std::min(width_ - 1, int(centre + halfWidth));
                for (int x = from; x <= to; ++x) {
                    const float dx = std::abs(float(x) - centre) / halfWidth;
                    if (dx >= 1.0f)
                        continue;
                    const float base = ground[size_t(x)];
                    float y;
                    if (layer.type == LayerType::conifers) {
                        // Branch tiers make the edge of a fir saw-toothed.
                        const float tiers = std::fmod((1.0f - dx) * 7.0f + unitAt(i, 3) * 3.0f, 1.0f);
                        y = base - treeHeight * (1.0f - dx) * (0.9f + 0.1f * tiers);
                    } else {
                        const float radius = halfWidth;
                        const float bumps = 0.8f + 0.2f * noise_.line(float(x) / radius * 3.0f + float(i), 2);
                        y = base - (treeHeight - radius) - radius * std::sqrt(1.0f - dx * dx) * bumps;
                    }
                    shape.top[size_t(x)] = std::min(shape.top[size_t(x)], y);
                }
                centre += (layer.type == LayerType::conifers ? spacing : halfWidth * 1.6f) *
                          (0.45f + 0.6f * unitAt(i, 4));
            }
        } else if (layer.type == LayerType::buildings) {
            shape.building.assign(size_t(width_), -1);
            float left = -unitAt(0, 9) * layer.treeWidth * h_;
            for (int b = 0; left < float(width_); ++b) {
                const float buildingWidth = layer.treeWidth * h_ * (0.5f + unitAt(quint32(b), 5));
                const float buildingHeight = layer.treeHeight * h_ * (0.3f + 0.7f * unitAt(quint32(b), 6));
                const float gap = unitAt(quint32(b), 7) < 0.3f ? buildingWidth * 0.15f : 0.0f;
                shape.buildingLeft.push_back(left);
                for (int x = std::max(0, int(left)); x < std::min(width_, int(left + buildingWidth)); ++x) {
                    shape.top[size_t(x)] = h_ * layer.base - buildingHeight;
                    shape.building[size_t(x)] = b;
                }
                left += buildingWidth + gap;
            }
            for (int x = 0; x < width_; ++x) {
                if (shape.building[size_t(x)] < 0)
                    shape.top[size_t(x)] = h_ * layer.base;
            }
        }
        return shape;
    }

    Rgb sky(int x, float y) const {
        const auto row = size_t(std::clamp(int(y), 0, height_ - 1));
        Rgb c = skyRows_[row];
        const float u = float(x) / h_;
        const float v = y / h_;
        if (recipe_.clouds > 0) {
            const float n = noise_.at(u * 128.0f + 17.0f, v * 384.0f);
            const float threshold = 0.75f - recipe_.clouds * 0.35f;
            const float cover = clamp01((n - threshold) / 0.18f) * cloudFade_[row];
            const Rgb cloud =
                mix(scaled(recipe_.cloudColour, 0.82f), recipe_.cloudColour, clamp01((n - 0.4f) * 2));
            c = mix(c, cloud, cover);
        }
        if (recipe_.sun) {
            const float dx = u - recipe_.sunX * float(width_) / h_;
            const float dy = v - recipe_.sunY;
            const float d2 = dx * dx + dy * dy;
            const float r2 = recipe_.sunRadius * recipe_.sunRadius;
            const float glow = recipe_.sunGlow / (1.0f + d2 / (r2 * 6.0f));
            c = {c.r + glow * recipe_.sunColour.r / 255.0f, c.g + glow * recipe_.sunColour.g / 255.0f,
                 c.b + glow * recipe_.sunColour.b / 255.0f};
            if (d2 < r2)
                c = mix(c, recipe_.sunColour, clamp01((r2 - d2) / (r2 * 0.15f)));
        }
        return c;
    }

    Rgb sceneAt(int x, float y, size_t layers) const {
        for (size_t k = layers; k-- > 0;) {
            if (y >= shapes_[k].top[size_t(x)]) {
                return recipe_.layers[k].type == LayerType::water ? water(k, x, y) : land(k, x, y);
            }
        }
        return sky(x, y);
    }

    Rgb water(size_t k, int x, float y) const {
        const SceneRecipe::Layer& layer = recipe_.layers[k];
        const float surface = shapes_[k].top[size_t(x)];
        const float depth = clamp01((y - surface) / std::max(1.0f, h_ - surface));
        const float u = float(x) / h_;
        const float ripple = (noise_.at(u * 40.0f, y / h_ * 900.0f) - 0.5f) * h_ * 0.03f * (0.3f + depth);
        const float mirrored = std::max(0.0f, std::min(surface - 1.0f, 2.0f * surface - y + ripple));
        const Rgb reflected = sceneAt(x, mirrored, k);
        Rgb c = mix(mix(layer.top, layer.bottom, depth), scaled(reflected, 0.88f), layer.reflection);
        c = plus(c, (noise_.at(float(x) * 0.08f, y * 0.9f) - 0.5f) * layer.texture * 2.0f);
        if (recipe_.sun) {
            const float dx = (u - recipe_.sunX * float(width_) / h_) / 0.06f;
            const float sparkle = std::max(0.0f, noise_.at(float(x) * 0.7f, y * 2.3f) - 0.6f);
            c = plus(c, sparkle * 500.0f * recipe_.sunGlow / 100.0f / (1.0f + dx * dx));
        }
        return c;
    }

    Rgb land(size_t k, int x, float y) const {
        const SceneRecipe::Layer& layer = recipe_.layers[k];
        const LayerShape& shape = shapes_[k];
        const float top = shape.top[size_t(x)];
        const float below = y - top;
        Rgb c = mix(layer.top, layer.bottom, clamp01(below / (h_ * layer.shadeDepth)));
        const float u = float(x) / h_;
        const float v = y / h_;
        const float offset = float(k) * 41.0f;
        const float coarse = noise_.at(u * 256.0f + offset, v * 256.0f);
        const float detail = noise_.at(float(x) * 0.5f + offset, y * 0.5f);
        c = plus(c, (coarse - 0.5f) * layer.texture * 1.2f + (detail - 0.5f) * layer.texture);
        c.g += (detail - 0.5f) * layer.texture * 0.3f;
        if (layer.snow > 0) {
            const float snowLine =
                top + h_ * layer.snow * (0.3f + 0.9f * noise_.at(u * 200.0f, 7.0f + offset));
            const float snow = clamp01((snowLine - y) / (h_ * 0.01f)) * clamp01(0.4f + coarse);
            c = mix(c, plus(Rgb{236, 239, 247}, (detail - 0.5f) * 14.0f), snow);
        }
        if (layer.streaks > 0)
            c = plus(c, (noise_.at(float(x) * 0.45f + offset, y * 0.05f) - 0.5f) * layer.streaks * 2.0f);
        if (layer.flowers > 0)
            c = withFlower(k, x, y, c);
        if (layer.windows > 0 && !shape.building.empty())
            c = withWindow(k, x, y, c);
        return mix(c, recipe_.skyHorizon, layer.haze);
    }

    Rgb withFlower(size_t k, int x, float y, Rgb c) const {
        const SceneRecipe::Layer& layer = recipe_.layers[k];
        const float cell = std::max(4.0f, h_ * 0.014f);
        const auto cx = quint32(int(float(x) / cell));
        const auto cy = quint32(int(y / cell));
        const quint32 cellSeed = seed_ + quint32(k) * 101u;
        const quint32 h = SceneNoise::hash(cx, cy, cellSeed);
        if (SceneNoise::unit(h) >= layer.flowers)
            return c;
        const quint32 h2 = SceneNoise::hash(cy, cx, cellSeed ^ 0x9999u);
        const float fx = (float(cx) + 0.2f + 0.6f * SceneNoise::unit(h2)) * cell;
        const float fy = (float(cy) + 0.2f + 0.6f * float(h & 0xff) / 255.0f) * cell;
        const float radius = cell * (0.16f + 0.16f * float((h2 >> 8) & 0xff) / 255.0f);
        const float d2 = ((float(x) - fx) * (float(x) - fx) + (y - fy) * (y - fy)) / (radius * radius);
        if (d2 >= 1.0f)
            return c;
        if (d2 < 0.08f)
            return {235, 200, 70};
        return scaled(layer.flowerColours[(h >> 4) % 3], 0.72f + 0.28f * (1.0f - d2));
    }

    Rgb withWindow(size_t k, int x, float y, Rgb c) const {
        const SceneRecipe::Layer& layer = recipe_.layers[k];
        const LayerShape& shape = shapes_[k];
        const int building = shape.building[size_t(x)];
        if (building < 0)
            return c;
        const float cellWidth = std::max(3.0f, h_ * 0.011f);
        const float cellHeight = std::max(4.0f, h_ * 0.017f);
        const float lx = float(x) - shape.buildingLeft[size_t(building)];
        const float ly = y - shape.top[size_t(x)];
        const float wx = lx / cellWidth;
        const float wy = ly / cellHeight;
        const float fx = wx - std::floor(wx);
        const float fy = wy - std::floor(wy);
        if (wy < 1.0f || wx < 0.5f || fx < 0.25f || fx > 0.75f || fy < 0.3f || fy > 0.78f)
            return c;
        const quint32 h = SceneNoise::hash(quint32(building) * 131u + quint32(int(wx)), quint32(int(wy)),
                                           seed_ + quint32(k));
        if (SceneNoise::unit(h) < layer.windows)
            return scaled(Rgb{255, 205, 125}, 0.8f + 0.2f * float(h & 0xff) / 255.0f);
        return {38, 42, 58};
    }

    SceneRecipe recipe_;
    SceneNoise noise_;
    quint32 seed_;
    int width_;
    int height_;
    float h_;
    float noiseLevel_;
    std::vector<LayerShape> shapes_;
    std::vector<Rgb> skyRows_;
    std::vector<float> cloudFade_;
    std::vector<float> vignetteX_;
    std::vector<float> vignetteY_;
};

// A picture the size of a camera's is written once into fresh memory; huge
// pages spare most of the page faults that would cost more than drawing it.
QImage allocate(QSize size) {
    constexpr size_t kHugePage = 2 * 1024 * 1024;
    const qsizetype bytesPerLine = (qsizetype(size.width()) * 3 + 3) / 4 * 4;
    const size_t bytes = size_t(bytesPerLine) * size_t(size.height());
    if (bytes < 4 * kHugePage)
        return QImage(size, QImage::Format_RGB888);
    void* memory = std::aligned_alloc(kHugePage, (bytes + kHugePage - 1) / kHugePage * kHugePage);
    if (!memory)
        return QImage(size, QImage::Format_RGB888);
    ::madvise(memory, bytes, MADV_HUGEPAGE);
    return QImage(
        static_cast<uchar*>(memory), size.width(), size.height(), bytesPerLine, QImage::Format_RGB888,
        [](void* data) { std::free(data); }, memory);
}

} // namespace

QImage SyntheticScene::landscape(QSize size, const Options& options) {
    if (size.isEmpty())
        return {};
    QImage image = allocate(size);
    if (image.isNull())
        return {};
    const Renderer renderer(size, options);
    uchar* pixels = image.bits();
    const qsizetype bytesPerLine = image.bytesPerLine();
    const int threads = qint64(size.width()) * size.height() < 1'000'000
                            ? 1
                            : int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    if (threads == 1) {
        renderer.rows(pixels, bytesPerLine, 0, size.height());
        return image;
    }
    // Interleaved bands, so the sky and the busy foreground are shared fairly.
    constexpr int kBand = 32;
    {
        std::vector<std::jthread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&renderer, pixels, bytesPerLine, t, threads, height = size.height()] {
                for (int first = t * kBand; first < height; first += threads * kBand)
                    renderer.rows(pixels, bytesPerLine, first, std::min(height, first + kBand));
            });
        }
    } // the workers join here
    return image;
}

QImage SyntheticScene::testPattern(QSize size) {
    QImage image(size, QImage::Format_RGB888);
    if (image.isNull())
        return image;
    const int halfWidth = size.width() / 2;
    const int halfHeight = size.height() / 2;
    const int rampWidth = size.width() - halfWidth;
    for (int y = 0; y < size.height(); ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            QRgb colour;
            if (y < halfHeight) {
                colour = x < halfWidth ? kPatternRed : kPatternGreen;
            } else if (x < halfWidth) {
                colour = kPatternBlue;
            } else {
                const int grey = rampWidth > 1 ? (x - halfWidth) * 255 / (rampWidth - 1) : 255;
                colour = qRgb(grey, grey, grey);
            }
            line[3 * x] = uchar(qRed(colour));
            line[3 * x + 1] = uchar(qGreen(colour));
            line[3 * x + 2] = uchar(qBlue(colour));
        }
    }
    return image;
}
