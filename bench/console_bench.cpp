// The console layer alone, on the in-memory platform: what a clear of the map pane costs,
// on a screen the size of a terminal and on a Windows console buffer of 9001 rows. The cost
// is meant to follow the window, not the screen.
#include <benchmark/benchmark.h>

#include "console/console.h"
#include "platform/memory/memory_platform.h"

namespace {

void BM_ClearMapPane(benchmark::State& state) {
    dungeon::MemoryPlatform platform(static_cast<int>(state.range(0)),
                                     static_cast<int>(state.range(1)));
    dungeon::Console console;
    if (!console.Start(platform)) {
        state.SkipWithError("the console does not start");
        return;
    }
    console.SetWindow(1, 1, 40, 20);
    for (auto _ : state) {
        console.ClearWindow();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ClearMapPane)->Args({80, 25})->Args({120, 9001})->ArgNames({"width", "height"});

}  // namespace
