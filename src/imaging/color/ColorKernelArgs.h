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
// A `table` step: a run of per-channel steps sampled on a logarithmic grid,
// so that the float's own bits give the place without a root or a logarithm.
// Two halves, negative values first: in each, sample 0 is at 0, sample 1 at
// 2^kTableLowest, then kTablePerOctave samples an octave (linear within it)
// for kTableOctaves octaves, up to 2^(kTableLowest + kTableOctaves) = 16.
inline constexpr int kTableLowest = -16;
inline constexpr int kTableOctaves = 20;
inline constexpr int kTablePerOctave = 128;
inline constexpr int kTableHalf = 2 + kTableOctaves * kTablePerOctave;
inline constexpr int kTableSamples = 2 * kTableHalf;
// Bits of 2^kTableLowest and 2^(kTableLowest + kTableOctaves), and the shift
// that leaves exponent and the octave's sample number.
inline constexpr int32_t kTableLowestBits = (127 + kTableLowest) << 23;
inline constexpr int32_t kTableHighestBits = (127 + kTableLowest + kTableOctaves) << 23;
inline constexpr int kTableShift = 23 - 7; // 7 = log2(kTablePerOctave)
static_assert(kTablePerOctave == 1 << (23 - kTableShift));

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
