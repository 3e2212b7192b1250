#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>

// Benchmarks report their cost against a reference measured in the same run,
// in alternation with the operation itself, so both see the same machine state.
// Counters: `ratio` (operation / reference), `ms` (operation), `ref_ms`.
template <typename Operation, typename Reference>
void measureAgainst(benchmark::State& state, Operation operation, Reference reference) {
    using Clock = std::chrono::steady_clock;
    double operationSeconds = 0;
    double referenceSeconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        operation();
        operationSeconds += std::chrono::duration<double>(Clock::now() - start).count();

        state.PauseTiming();
        const auto referenceStart = Clock::now();
        reference();
        referenceSeconds += std::chrono::duration<double>(Clock::now() - referenceStart).count();
        state.ResumeTiming();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ratio"] = referenceSeconds > 0 ? operationSeconds / referenceSeconds : 0;
    state.counters["ms"] = operationSeconds / n * 1e3;
    state.counters["ref_ms"] = referenceSeconds / n * 1e3;
}

// CI runs every benchmark once on small inputs (ZORVA_BENCH_SMOKE=1) to prove it works.
inline bool smokeRun() {
    const char* value = std::getenv("ZORVA_BENCH_SMOKE");
    return value && *value && *value != '0';
}
