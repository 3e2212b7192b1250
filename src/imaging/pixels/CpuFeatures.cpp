#include "CpuFeatures.h"

#include <cstdlib>

bool CpuFeatures::avx2() {
    static const bool usable = [] {
        const char* disabled = std::getenv("ZV_DISABLE_AVX2");
        if (disabled && *disabled && *disabled != '0')
            return false;
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    }();
    return usable;
}
