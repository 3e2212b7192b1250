#pragma once

#include "SyntheticScene.h"

#include <array>
#include <vector>

// The ingredients of one kind of landscape: a sky, an optional sun and clouds,
// and layers from the farthest to the nearest. Sizes are fractions of the
// picture's height, colours sRGB levels.
struct SceneRecipe {
    struct Rgb {
        float r = 0, g = 0, b = 0;
    };

    enum class LayerType { ridge, conifers, broadleaves, buildings, water, ground };

    struct Layer {
        LayerType type = LayerType::ridge;
        float base = 0.6f;      // the layer's top line, from the top of the picture
        float amplitude = 0.1f; // how far its ridges rise above `base`
        float frequency = 1.5f; // ridge features per picture height
        int octaves = 4;
        bool ridged = false; // sharp peaks rather than rounded hills
        Rgb top;             // colour at the ridge line
        Rgb bottom;          // colour further down
        float shadeDepth = 0.2f;
        float texture = 10; // texture strength, in levels
        float haze = 0;     // 0 clear, 1 lost in the horizon's colour
        float snow = 0;     // depth of snow below the ridge line
        float treeHeight = 0.1f;
        float treeWidth = 0.03f;
        float windows = 0;    // share of lit windows
        float reflection = 0; // water: how much of the view it mirrors
        float streaks = 0;    // grass blades, in levels
        float flowers = 0;    // share of ground cells with a flower
        std::array<Rgb, 3> flowerColours{};
    };

    Rgb skyTop;
    Rgb skyHorizon;
    float horizon = 0.6f; // where the sky reaches its horizon colour
    bool sun = false;
    float sunX = 0.5f, sunY = 0.2f, sunRadius = 0.03f;
    Rgb sunColour{255, 245, 220};
    float sunGlow = 0;
    float clouds = 0;
    Rgb cloudColour{250, 250, 250};
    float vignette = 0.25f;
    std::vector<Layer> layers;

    static SceneRecipe forKind(SyntheticScene::Kind kind);
};
