#pragma once

// The vector extensions the pixel loops may use. The AVX2 loops (compiled
// with FMA too) run only where the processor has both; setting the
// environment variable ZV_DISABLE_AVX2 makes every loop take its baseline
// x86-64-v2 form, to test or diagnose it on any machine.
class CpuFeatures {
public:
    static bool avx2();
};
