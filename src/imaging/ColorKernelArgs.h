#pragma once

#include <cstddef>
#include <cstdint>

// Plain data handed to the pixel loops of ColorKernel. The AVX2 loop lives in
// a translation unit compiled for AVX2, which must not instantiate any shared
// inline code (a linker could pick its AVX2 copy for the whole program), so
// everything it sees is plain pointers and numbers.
namespace ColorKernelArgs {

enum Format : int { rgba8 = 0, bgra8 = 1, rgb8 = 2, rgb16 = 3 };
enum StepKind : int { affine = 0, encode = 1, decode = 2, curve = 3, vibrance = 4, table = 5 };

inline constexpr int kEncodeSize = 16384;
inline constexpr int kCurveSamples = 1025;
// A `table` step: a run of per-channel steps sampled at signed square roots
// s = ±sqrt(|v|) from -kTableReach to kTableReach, kTablePerUnit samples apart.
inline constexpr int kTableReach = 4;
inline constexpr int kTablePerUnit = 256;
inline constexpr int kTableSamples = 2 * kTableReach * kTablePerUnit + 1;

struct Step {
    int kind;
    float m[12];
    float amount;
    const float* curve; // 3 × kCurveSamples; for `table` 3 × kTableSamples
};

struct Rows {
    const Step* steps;
    int stepCount;
    const float* decode;   // 3 × 256, 8-bit input value to linear
    const uint8_t* encode; // kEncodeSize + 4, linear [0, 1] to 8-bit
    const unsigned char* source;
    ptrdiff_t sourceX, sourceY; // bytes between neighbours in a row, between rows
    int sourceFormat;
    unsigned char* target;
    ptrdiff_t targetX, targetY;
    int targetFormat;
    bool opaque; // write alpha 255 instead of copying it
    int width;
};

} // namespace ColorKernelArgs
