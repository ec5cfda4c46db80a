// The extended real in software against the x87's own: FormatFixed as the status line
// uses it, the four operations, and a whole game in whatever type this build has (the
// bench-soft-extended build runs it with the software type).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "base/extended_real.h"
#include "base/number_text.h"
#include "bench/whole_game.h"

namespace {

// Lives, attacks and armors as a game shows them, and a few with decimals.
constexpr double kValues[] = {5.0, 4.925, 78.8, 49.25, 0.88, 0.2689, 17.6, 100.0, 37.5, 2.5};

template <typename Real>
void BM_FormatFixed(benchmark::State& state) {
    const auto decimals = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        for (double value : kValues) {
            benchmark::DoNotOptimize(
                dungeon::FormatFixedIn(Real(value), 3, decimals, dungeon::RealKind::kDouble));
            benchmark::DoNotOptimize(
                dungeon::FormatFixedIn(Real(value), 3, decimals, dungeon::RealKind::kExtended));
        }
    }
    state.SetItemsProcessed(state.iterations() * 2 * static_cast<std::int64_t>(std::size(kValues)));
}
BENCHMARK(BM_FormatFixed<dungeon::SoftExtendedReal>)->Arg(0)->Arg(2)->ArgName("decimals");

// One each of +, -, * and / on values that change every round.
template <typename Real>
void BM_Operations(benchmark::State& state) {
    Real x = 1.5;
    const Real y = 0.9990234375;
    for (auto _ : state) {
        x = (x * y + 0.25) / y - 0.125;
        benchmark::DoNotOptimize(x);
    }
    state.SetItemsProcessed(state.iterations() * 4);
}
BENCHMARK(BM_Operations<dungeon::SoftExtendedReal>);

#if DUNGEON_X87_LONG_DOUBLE
BENCHMARK(BM_FormatFixed<dungeon::HardwareExtendedReal>)->Arg(0)->Arg(2)->ArgName("decimals");
BENCHMARK(BM_Operations<dungeon::HardwareExtendedReal>);
#endif

// The same whole game as the terminal benchmarks play, on the in-memory console only.
void BM_WholeGameExtendedReals(benchmark::State& state) {
    state.SetLabel(std::string(dungeon::kExtendedRealName));
    for (auto _ : state) {
        dungeon::bench::WholeGame game([](const dungeon::Screen&) {});
        benchmark::DoNotOptimize(game.Play());
    }
}
BENCHMARK(BM_WholeGameExtendedReals)->Unit(benchmark::kMillisecond);

}  // namespace
