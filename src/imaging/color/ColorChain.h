#pragma once

#include "Matrix3.h"

#include <array>
#include <functional>
#include <memory>
#include <vector>

// A per-pixel colour transform as a short list of steps on floating-point
// RGB, the fused form of consecutive colour filters. A chain starts and ends
// in linear light; steps that work on encoded values (contrast, tone curves)
// are bracketed by encode and decode steps, inserted as needed. Adjacent
// affine steps in the same domain are multiplied into one, so an edit's
// exposure, saturation and warmth cost one matrix. Values are not clamped
// between steps. A value type; the pixel kernels run its steps.
class ColorChain {
public:
    enum class Domain { linear, encoded };

    // 1025 samples per channel over [0, 1], linearly interpolated; input
    // outside [0, 1] is clamped first.
    static constexpr int kCurveSamples = 1025;
    using CurveTables = std::array<std::array<float, kCurveSamples>, 3>;

    struct Step {
        enum class Kind { affine, encode, decode, curve, vibrance };
        Kind kind = Kind::affine;
        // affine: out = m[0..2]·rgb + m[3] for red, m[4..6]·rgb + m[7] for green, ...
        std::array<float, 12> m{};
        // vibrance: the amount, and the luminance weights in m[0..2]
        float amount = 0;
        std::shared_ptr<const CurveTables> curve;
    };

    // out = matrix · rgb + offset, in the given domain.
    void appendAffine(Domain domain, const Matrix3& matrix, const std::array<double, 3>& offset = {0, 0, 0});
    // A tone curve per channel, each a function on [0, 1] in the given domain.
    void appendCurves(Domain domain, const std::function<double(double)>& red,
                      const std::function<double(double)>& green, const std::function<double(double)>& blue);
    void appendCurve(Domain domain, const std::function<double(double)>& curve) {
        appendCurves(domain, curve, curve, curve);
    }
    // Mixes each linear colour with its luminance by 1 + amount × (1 − s),
    // where s is its saturation (max − min) / max clamped to [0, 1].
    void appendVibrance(double amount, const std::array<double, 3>& luma);
    void append(const ColorChain& other);

    // The steps, ending in linear light.
    std::vector<Step> steps() const;
    bool isIdentity() const { return steps().empty(); }

    // Runs the steps on one linear colour, with exact transfer curves.
    std::array<float, 3> evaluate(std::array<float, 3> rgb) const;
    static void evaluate(const std::vector<Step>& steps, float& r, float& g, float& b);

private:
    void switchTo(Domain domain);

    std::vector<Step> steps_;
    Domain domain_ = Domain::linear;
};
