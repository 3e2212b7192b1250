#include "SceneRecipe.h"

namespace {

using Rgb = SceneRecipe::Rgb;
using Layer = SceneRecipe::Layer;
using LayerType = SceneRecipe::LayerType;

Layer layer(LayerType type, float base, float amplitude, Rgb top, Rgb bottom) {
    Layer l;
    l.type = type;
    l.base = base;
    l.amplitude = amplitude;
    l.top = top;
    l.bottom = bottom;
    return l;
}

SceneRecipe meadow() {
    SceneRecipe r;
    r.skyTop = {70, 130, 210};
    r.skyHorizon = {190, 215, 240};
    r.horizon = 0.55f;
    r.sun = true;
    r.sunX = 0.82f, r.sunY = 0.12f, r.sunRadius = 0.028f, r.sunGlow = 70;
    r.clouds = 0.6f;
    Layer far = layer(LayerType::ridge, 0.5f, 0.1f, {120, 150, 190}, {130, 160, 185});
    far.frequency = 4.0f, far.octaves = 5, far.haze = 0.45f, far.texture = 4;
    Layer hills = layer(LayerType::ridge, 0.6f, 0.08f, {110, 160, 75}, {70, 120, 50});
    hills.frequency = 2.5f, hills.texture = 12, hills.haze = 0.12f;
    Layer trees = layer(LayerType::broadleaves, 0.66f, 0.015f, {55, 95, 40}, {35, 70, 30});
    trees.treeHeight = 0.06f, trees.treeWidth = 0.022f, trees.texture = 18;
    Layer ground = layer(LayerType::ground, 0.72f, 0.03f, {115, 170, 60}, {70, 130, 40});
    ground.frequency = 1.5f, ground.texture = 14, ground.streaks = 22, ground.flowers = 0.3f;
    ground.flowerColours = {Rgb{245, 212, 60}, Rgb{245, 245, 235}, Rgb{150, 90, 195}};
    r.layers = {far, hills, trees, ground};
    return r;
}

SceneRecipe seaside() {
    SceneRecipe r;
    r.skyTop = {35, 105, 200};
    r.skyHorizon = {175, 212, 238};
    r.horizon = 0.55f;
    r.sun = true;
    r.sunX = 0.3f, r.sunY = 0.16f, r.sunRadius = 0.032f, r.sunGlow = 85;
    r.clouds = 0.35f;
    Layer headland = layer(LayerType::ridge, 0.5f, 0.07f, {105, 125, 145}, {115, 135, 150});
    headland.frequency = 2.5f, headland.haze = 0.45f, headland.texture = 5;
    Layer sea = layer(LayerType::water, 0.55f, 0, {40, 105, 150}, {55, 135, 165});
    sea.reflection = 0.35f, sea.texture = 10;
    Layer beach = layer(LayerType::ground, 0.8f, 0.035f, {235, 222, 190}, {205, 178, 130});
    beach.frequency = 1.4f, beach.texture = 12, beach.shadeDepth = 0.25f;
    r.layers = {headland, sea, beach};
    return r;
}

SceneRecipe alpineLake() {
    SceneRecipe r;
    r.skyTop = {45, 95, 185};
    r.skyHorizon = {185, 208, 232};
    r.horizon = 0.45f;
    r.clouds = 0.3f;
    Layer peaks = layer(LayerType::ridge, 0.44f, 0.26f, {150, 150, 160}, {95, 95, 108});
    peaks.frequency = 3.5f, peaks.octaves = 6, peaks.ridged = true, peaks.texture = 20, peaks.snow = 0.09f;
    peaks.haze = 0.1f, peaks.shadeDepth = 0.3f;
    Layer forest = layer(LayerType::conifers, 0.6f, 0.02f, {35, 70, 45}, {20, 45, 30});
    forest.treeHeight = 0.08f, forest.treeWidth = 0.012f, forest.texture = 14;
    Layer lake = layer(LayerType::water, 0.62f, 0, {40, 85, 95}, {30, 70, 80});
    lake.reflection = 0.65f, lake.texture = 6;
    Layer shore = layer(LayerType::ground, 0.88f, 0.03f, {100, 115, 65}, {60, 80, 40});
    shore.texture = 20, shore.streaks = 16, shore.flowers = 0.06f;
    shore.flowerColours = {Rgb{240, 240, 240}, Rgb{230, 200, 80}, Rgb{200, 90, 160}};
    r.layers = {peaks, forest, lake, shore};
    return r;
}

SceneRecipe desertSunset() {
    SceneRecipe r;
    r.skyTop = {55, 40, 110};
    r.skyHorizon = {252, 150, 80};
    r.horizon = 0.58f;
    r.sun = true;
    r.sunX = 0.56f, r.sunY = 0.5f, r.sunRadius = 0.06f, r.sunGlow = 120;
    r.sunColour = {255, 232, 175};
    r.clouds = 0.25f;
    r.cloudColour = {245, 150, 150};
    r.vignette = 0.35f;
    Layer mesas = layer(LayerType::ridge, 0.55f, 0.05f, {150, 80, 95}, {160, 90, 95});
    mesas.frequency = 2.5f, mesas.octaves = 3, mesas.haze = 0.45f, mesas.texture = 4;
    Layer dunes = layer(LayerType::ridge, 0.65f, 0.08f, {232, 142, 82}, {170, 82, 52});
    dunes.frequency = 2.6f, dunes.octaves = 2, dunes.texture = 9;
    Layer near = layer(LayerType::ground, 0.78f, 0.08f, {212, 122, 62}, {115, 58, 40});
    near.frequency = 1.8f, near.octaves = 2, near.texture = 11, near.streaks = 6, near.shadeDepth = 0.22f;
    r.layers = {mesas, dunes, near};
    return r;
}

SceneRecipe forest() {
    SceneRecipe r;
    r.skyTop = {150, 170, 182};
    r.skyHorizon = {218, 224, 218};
    r.horizon = 0.5f;
    r.vignette = 0.3f;
    Layer far = layer(LayerType::conifers, 0.5f, 0.03f, {120, 140, 140}, {125, 145, 142});
    far.treeHeight = 0.17f, far.treeWidth = 0.03f, far.haze = 0.55f, far.texture = 6;
    Layer mid = layer(LayerType::conifers, 0.62f, 0.03f, {70, 100, 80}, {55, 85, 65});
    mid.treeHeight = 0.22f, mid.treeWidth = 0.036f, mid.haze = 0.25f, mid.texture = 14;
    Layer near = layer(LayerType::conifers, 0.82f, 0.02f, {30, 56, 36}, {22, 42, 28});
    near.treeHeight = 0.45f, near.treeWidth = 0.06f, near.texture = 20;
    Layer floor = layer(LayerType::ground, 0.86f, 0.02f, {85, 95, 52}, {50, 60, 35});
    floor.texture = 18, floor.streaks = 20, floor.flowers = 0.05f;
    floor.flowerColours = {Rgb{245, 245, 240}, Rgb{240, 230, 120}, Rgb{235, 235, 250}};
    r.layers = {far, mid, near, floor};
    return r;
}

SceneRecipe cityDusk() {
    SceneRecipe r;
    r.skyTop = {20, 30, 80};
    r.skyHorizon = {242, 140, 90};
    r.horizon = 0.62f;
    r.sun = true;
    r.sunX = 0.7f, r.sunY = 0.57f, r.sunRadius = 0.035f, r.sunGlow = 90;
    r.sunColour = {255, 210, 160};
    r.clouds = 0.3f;
    r.cloudColour = {190, 120, 160};
    r.vignette = 0.35f;
    Layer far = layer(LayerType::buildings, 0.58f, 0, {62, 60, 92}, {58, 56, 85});
    far.treeHeight = 0.2f, far.treeWidth = 0.05f, far.windows = 0.3f, far.haze = 0.3f, far.texture = 5;
    Layer near = layer(LayerType::buildings, 0.67f, 0, {32, 30, 46}, {26, 25, 38});
    near.treeHeight = 0.32f, near.treeWidth = 0.08f, near.windows = 0.45f, near.texture = 7;
    Layer river = layer(LayerType::water, 0.7f, 0, {22, 30, 62}, {18, 24, 50});
    river.reflection = 0.7f, river.texture = 8;
    Layer quay = layer(LayerType::ground, 0.92f, 0.005f, {66, 60, 64}, {42, 38, 42});
    quay.texture = 12;
    r.layers = {far, near, river, quay};
    return r;
}

SceneRecipe garden() {
    SceneRecipe r;
    r.skyTop = {90, 150, 222};
    r.skyHorizon = {212, 226, 240};
    r.horizon = 0.45f;
    r.sun = true;
    r.sunX = 0.14f, r.sunY = 0.1f, r.sunRadius = 0.025f, r.sunGlow = 45;
    r.clouds = 0.5f;
    Layer trees = layer(LayerType::broadleaves, 0.42f, 0.02f, {62, 104, 62}, {48, 86, 50});
    trees.treeHeight = 0.16f, trees.treeWidth = 0.06f, trees.texture = 18;
    Layer hedge = layer(LayerType::ridge, 0.55f, 0.03f, {55, 115, 48}, {40, 90, 38});
    hedge.frequency = 6.0f, hedge.texture = 22;
    Layer bed = layer(LayerType::ground, 0.62f, 0.01f, {72, 132, 52}, {42, 92, 32});
    bed.texture = 16, bed.streaks = 18, bed.flowers = 0.6f, bed.shadeDepth = 0.35f;
    bed.flowerColours = {Rgb{222, 40, 62}, Rgb{242, 132, 182}, Rgb{142, 72, 182}};
    r.layers = {trees, hedge, bed};
    return r;
}

SceneRecipe autumnHills() {
    SceneRecipe r;
    r.skyTop = {80, 130, 200};
    r.skyHorizon = {232, 222, 202};
    r.horizon = 0.52f;
    r.sun = true;
    r.sunX = 0.86f, r.sunY = 0.2f, r.sunRadius = 0.03f, r.sunGlow = 55;
    r.clouds = 0.45f;
    Layer far = layer(LayerType::ridge, 0.5f, 0.08f, {140, 130, 150}, {150, 140, 155});
    far.frequency = 3.5f, far.haze = 0.4f, far.texture = 5;
    Layer trees = layer(LayerType::broadleaves, 0.6f, 0.02f, {205, 112, 42}, {160, 72, 32});
    trees.treeHeight = 0.1f, trees.treeWidth = 0.04f, trees.texture = 26;
    Layer hills = layer(LayerType::ridge, 0.7f, 0.05f, {192, 152, 62}, {142, 102, 42});
    hills.frequency = 2.2f, hills.texture = 14;
    Layer ground = layer(LayerType::ground, 0.85f, 0.02f, {152, 112, 52}, {110, 80, 40});
    ground.texture = 16, ground.streaks = 16, ground.flowers = 0.18f;
    ground.flowerColours = {Rgb{200, 60, 30}, Rgb{232, 162, 42}, Rgb{170, 90, 30}};
    r.layers = {far, trees, hills, ground};
    return r;
}

} // namespace

SceneRecipe SceneRecipe::forKind(SyntheticScene::Kind kind) {
    switch (kind) {
    case SyntheticScene::Kind::meadow:
        return meadow();
    case SyntheticScene::Kind::seaside:
        return seaside();
    case SyntheticScene::Kind::alpineLake:
        return alpineLake();
    case SyntheticScene::Kind::desertSunset:
        return desertSunset();
    case SyntheticScene::Kind::forest:
        return forest();
    case SyntheticScene::Kind::cityDusk:
        return cityDusk();
    case SyntheticScene::Kind::garden:
        return garden();
    case SyntheticScene::Kind::autumnHills:
        return autumnHills();
    }
    return meadow();
}
