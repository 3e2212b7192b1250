#include "ColorChain.h"

#include "ColorMath.h"

#include <algorithm>
#include <cmath>

namespace {

using Step = ColorChain::Step;

std::array<float, 12> toAffine(const Matrix3& m, const std::array<double, 3>& o) {
    std::array<float, 12> a{};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col)
            a[static_cast<size_t>(row * 4 + col)] = static_cast<float>(m(row, col));
        a[static_cast<size_t>(row * 4 + 3)] = static_cast<float>(o[static_cast<size_t>(row)]);
    }
    return a;
}

// b after a.
std::array<float, 12> compose(const std::array<float, 12>& b, const std::array<float, 12>& a) {
    std::array<float, 12> r{};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 4; ++col) {
            double s = col == 3 ? b[static_cast<size_t>(row * 4 + 3)] : 0;
            for (int k = 0; k < 3; ++k)
                s += double(b[static_cast<size_t>(row * 4 + k)]) * a[static_cast<size_t>(k * 4 + col)];
            r[static_cast<size_t>(row * 4 + col)] = static_cast<float>(s);
        }
    }
    return r;
}

bool isIdentityAffine(const std::array<float, 12>& a) {
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 4; ++col) {
            const float expected = row == col ? 1.0f : 0.0f;
            if (std::fabs(a[static_cast<size_t>(row * 4 + col)] - expected) > 1e-7f)
                return false;
        }
    }
    return true;
}

float curveAt(const std::array<float, ColorChain::kCurveSamples>& table, float v) {
    const float t = std::clamp(v, 0.0f, 1.0f) * (ColorChain::kCurveSamples - 1);
    const int i = std::min(static_cast<int>(t), ColorChain::kCurveSamples - 2);
    const float f = t - static_cast<float>(i);
    return table[static_cast<size_t>(i)] +
           f * (table[static_cast<size_t>(i + 1)] - table[static_cast<size_t>(i)]);
}

} // namespace

void ColorChain::switchTo(Domain domain) {
    if (domain_ == domain)
        return;
    Step step;
    step.kind = domain == Domain::encoded ? Step::Kind::encode : Step::Kind::decode;
    // An encode right after a decode (or the reverse) cancels out.
    if (!steps_.empty()) {
        const Step::Kind last = steps_.back().kind;
        if ((last == Step::Kind::decode && step.kind == Step::Kind::encode) ||
            (last == Step::Kind::encode && step.kind == Step::Kind::decode)) {
            steps_.pop_back();
            domain_ = domain;
            return;
        }
    }
    steps_.push_back(step);
    domain_ = domain;
}

void ColorChain::appendAffine(Domain domain, const Matrix3& matrix, const std::array<double, 3>& offset) {
    const std::array<float, 12> affine = toAffine(matrix, offset);
    if (isIdentityAffine(affine))
        return;
    switchTo(domain);
    if (!steps_.empty() && steps_.back().kind == Step::Kind::affine) {
        steps_.back().m = compose(affine, steps_.back().m);
        if (isIdentityAffine(steps_.back().m))
            steps_.pop_back();
        return;
    }
    Step step;
    step.kind = Step::Kind::affine;
    step.m = affine;
    steps_.push_back(step);
}

void ColorChain::appendCurves(Domain domain, const std::function<double(double)>& red,
                              const std::function<double(double)>& green,
                              const std::function<double(double)>& blue) {
    auto tables = std::make_shared<CurveTables>();
    const std::function<double(double)>* curves[3] = {&red, &green, &blue};
    for (size_t c = 0; c < 3; ++c) {
        for (int i = 0; i < kCurveSamples; ++i)
            (*tables)[c][static_cast<size_t>(i)] =
                static_cast<float>((*curves[c])(static_cast<double>(i) / (kCurveSamples - 1)));
    }
    switchTo(domain);
    Step step;
    step.kind = Step::Kind::curve;
    step.curve = std::move(tables);
    steps_.push_back(step);
}

void ColorChain::appendVibrance(double amount, const std::array<double, 3>& luma) {
    if (amount == 0)
        return;
    switchTo(Domain::linear);
    Step step;
    step.kind = Step::Kind::vibrance;
    step.amount = static_cast<float>(amount);
    step.m = {static_cast<float>(luma[0]), static_cast<float>(luma[1]), static_cast<float>(luma[2])};
    steps_.push_back(step);
}

void ColorChain::append(const ColorChain& other) {
    // The other chain's steps start in linear light.
    switchTo(Domain::linear);
    for (const Step& step : other.steps()) {
        switch (step.kind) {
        case Step::Kind::encode:
            switchTo(Domain::encoded);
            break;
        case Step::Kind::decode:
            switchTo(Domain::linear);
            break;
        case Step::Kind::affine:
            if (!steps_.empty() && steps_.back().kind == Step::Kind::affine) {
                steps_.back().m = compose(step.m, steps_.back().m);
                if (isIdentityAffine(steps_.back().m))
                    steps_.pop_back();
            } else {
                steps_.push_back(step);
            }
            break;
        case Step::Kind::curve:
        case Step::Kind::vibrance:
            steps_.push_back(step);
            break;
        }
    }
}

std::vector<ColorChain::Step> ColorChain::steps() const {
    std::vector<Step> result = steps_;
    if (domain_ == Domain::encoded) {
        Step step;
        step.kind = Step::Kind::decode;
        result.push_back(step);
    }
    return result;
}

std::array<float, 3> ColorChain::evaluate(std::array<float, 3> rgb) const {
    evaluate(steps(), rgb[0], rgb[1], rgb[2]);
    return rgb;
}

void ColorChain::evaluate(const std::vector<Step>& steps, float& r, float& g, float& b) {
    for (const Step& s : steps) {
        switch (s.kind) {
        case Step::Kind::affine: {
            const auto& m = s.m;
            const float nr = m[0] * r + m[1] * g + m[2] * b + m[3];
            const float ng = m[4] * r + m[5] * g + m[6] * b + m[7];
            const float nb = m[8] * r + m[9] * g + m[10] * b + m[11];
            r = nr;
            g = ng;
            b = nb;
            break;
        }
        case Step::Kind::encode:
            r = static_cast<float>(ColorMath::encode(r));
            g = static_cast<float>(ColorMath::encode(g));
            b = static_cast<float>(ColorMath::encode(b));
            break;
        case Step::Kind::decode:
            r = static_cast<float>(ColorMath::decode(r));
            g = static_cast<float>(ColorMath::decode(g));
            b = static_cast<float>(ColorMath::decode(b));
            break;
        case Step::Kind::curve:
            r = curveAt((*s.curve)[0], r);
            g = curveAt((*s.curve)[1], g);
            b = curveAt((*s.curve)[2], b);
            break;
        case Step::Kind::vibrance: {
            const float mx = std::max({r, g, b});
            const float mn = std::min({r, g, b});
            const float sat = mx > 1e-6f ? std::clamp((mx - mn) / mx, 0.0f, 1.0f) : 0.0f;
            const float f = 1 + s.amount * (1 - sat);
            const float y = s.m[0] * r + s.m[1] * g + s.m[2] * b;
            r = y + f * (r - y);
            g = y + f * (g - y);
            b = y + f * (b - y);
            break;
        }
        }
    }
}
