#pragma once

#include <array>
#include <cstddef>

// A 3 x 3 matrix of doubles, row-major, acting on column vectors: the linear
// maps between RGB spaces, XYZ and cone responses.
struct Matrix3 {
    std::array<double, 9> m{1, 0, 0, 0, 1, 0, 0, 0, 1};

    static constexpr Matrix3 identity() { return {}; }
    static constexpr Matrix3 diagonal(double a, double b, double c) { return {{a, 0, 0, 0, b, 0, 0, 0, c}}; }
    // Every row is `row`: maps any colour to the grey of its weighted sum.
    static constexpr Matrix3 rowsOf(const std::array<double, 3>& row) {
        return {{row[0], row[1], row[2], row[0], row[1], row[2], row[0], row[1], row[2]}};
    }

    double operator()(int row, int column) const { return m[static_cast<size_t>(row * 3 + column)]; }

    Matrix3 operator*(const Matrix3& o) const {
        Matrix3 r;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                double s = 0;
                for (int k = 0; k < 3; ++k)
                    s += (*this)(i, k) * o(k, j);
                r.m[static_cast<size_t>(i * 3 + j)] = s;
            }
        }
        return r;
    }

    std::array<double, 3> operator*(const std::array<double, 3>& v) const {
        return {m[0] * v[0] + m[1] * v[1] + m[2] * v[2], m[3] * v[0] + m[4] * v[1] + m[5] * v[2],
                m[6] * v[0] + m[7] * v[1] + m[8] * v[2]};
    }

    Matrix3 inverted() const {
        const double a = m[0], b = m[1], c = m[2], d = m[3], e = m[4], f = m[5], g = m[6], h = m[7], i = m[8];
        const double A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
        const double det = a * A + b * B + c * C;
        const double s = det != 0 ? 1 / det : 0;
        return {{A * s, -(b * i - c * h) * s, (b * f - c * e) * s, B * s, (a * i - c * g) * s,
                 -(a * f - c * d) * s, C * s, -(a * h - b * g) * s, (a * e - b * d) * s}};
    }

    // Largest absolute difference of any entry from the identity.
    double distanceFromIdentity() const {
        double worst = 0;
        for (int i = 0; i < 9; ++i) {
            const double expected = (i % 4 == 0) ? 1 : 0;
            const double d = m[static_cast<size_t>(i)] - expected;
            worst = d < 0 ? (-d > worst ? -d : worst) : (d > worst ? d : worst);
        }
        return worst;
    }

    bool operator==(const Matrix3&) const = default;
};
