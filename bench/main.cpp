#include "platform/PlatformMemory.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
    // As the viewer does, so the memory figures are the viewer's.
    PlatformMemory::mapLargeBlocks();
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
