#pragma once

#include <QtGlobal>

#include <cstdint>
#include <utility>
#include <vector>

class ParallelRunner;

// Lanczos-3 resampling of 8-bit, 4-channel pixels (RGBA, all four filtered
// alike), separable: a horizontal pass into a strip of rows that stays in
// cache, then a vertical pass, both in 14-bit fixed point with SIMD
// multiply-adds. The kernel widens with the reduction so every input pixel
// counts when shrinking. Output rows can be made in any order and in bands,
// so a decoder can feed it while it decodes. Immutable once made; any thread.
class LanczosResampler {
public:
    // Maps input pixel centres to output pixel centres with `scaleX` and
    // `scaleY` (output / input); the output has outWidth x outHeight pixels.
    LanczosResampler(int inWidth, int inHeight, int outWidth, int outHeight, double scaleX, double scaleY);
    // The same, with output centre i at input (i + 0.5) / scale + offset.
    LanczosResampler(int inWidth, int inHeight, int outWidth, int outHeight, double scaleX, double scaleY,
                     double offsetX, double offsetY);
    // Scales so that the input's edges meet the output's.
    LanczosResampler(int inWidth, int inHeight, int outWidth, int outHeight);

    int inWidth() const { return x_.inSize; }
    int inHeight() const { return y_.inSize; }
    int outWidth() const { return x_.outSize; }
    int outHeight() const { return y_.outSize; }

    // The input rows [first, last) that output rows [begin, end) are made from.
    std::pair<int, int> inputRows(int begin, int end) const;

    // Makes output rows [begin, end) into `output` (its first row is row
    // `begin`). `input` points at input row 0.
    void resampleRows(const uint8_t* input, qsizetype inStride, uint8_t* output, qsizetype outStride,
                      int begin, int end) const;
    void resample(const uint8_t* input, qsizetype inStride, uint8_t* output, qsizetype outStride,
                  const ParallelRunner* runner) const;

    // The two passes one row at a time, for callers that bring their own
    // rows. Vertical: output row `row` of rows `bytes` long, any number of
    // channels (planes too), from input rows `inStride` apart starting at
    // `input`. Horizontal: one row of inWidth() four-channel pixels to outWidth().
    void verticalRow(const uint8_t* input, qsizetype inStride, int row, int bytes, uint8_t* out) const;
    void horizontalRow(const uint8_t* in, uint8_t* out) const;

    // The weights of one axis: output i reads taps input pixels from first[i].
    struct Axis {
        int inSize = 0;
        int outSize = 0;
        int taps = 0;
        bool identity = false;
        std::vector<int> first;
        std::vector<int16_t> weights; // outSize x taps, sum 1 << 14 each
        std::vector<int32_t> pairs;   // outSize x (taps + 1) / 2: two weights per word
        std::vector<int32_t> spread;  // the same, each word four times
    };
    static Axis makeAxis(int inSize, int outSize, double scale, double offset = 0);
    static constexpr int kPrecision = 14;

private:
    static void horizontalBaseline(const int* first, const int32_t* pairs, int pairCount, int taps,
                                   int outSize, const uint8_t* in, uint8_t* out);
    // Needs an even number of taps; takes the spread weights.
    static void horizontalAvx2(const int* first, const int32_t* spread, int pairCount, int outSize,
                               const uint8_t* in, uint8_t* out);
    static void verticalBaseline(const uint8_t* const* rows, const int32_t* pairs, int taps, int bytes,
                                 uint8_t* out);
    static void verticalAvx2(const uint8_t* const* rows, const int32_t* pairs, int taps, int bytes,
                             uint8_t* out);
    static void verticalTail(const uint8_t* const* rows, const int32_t* pairs, int taps, int x, int bytes,
                             uint8_t* out);

    Axis x_;
    Axis y_;
};
