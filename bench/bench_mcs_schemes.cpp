// One European price per Modified Craig-Sneyd scheme (3, 5, 7, 9) and of the sparse-start scheme
// 10 on the coarse (60/30/30) and the fine (200/100/100) grid, and an American call of scheme 3
// (the early-exercise projection after every step), through the full road (calcPrice ->
// dispatcher -> routine). Counters: time per price, and per grid-node-step (NS x Nv x NT).

#include "bench/support/heston_option.h"

#include <benchmark/benchmark.h>

namespace {

using namespace bench_support;

// Args: scheme, NS (Nv = NS / 2, NT = NS / 2), exercise type (0 European, 1 American).
void BM_McsSchemePrice(benchmark::State& state)
{
    const int scheme = static_cast<int>(state.range(0));
    const int NS = static_cast<int>(state.range(1));
    const int exerciseType = static_cast<int>(state.range(2));
    const int Nv = NS / 2, NT = NS / 2;
    const double dividend = exerciseType == 1 ? 0.06 : 0.01;
    for (auto _ : state) {
        auto o = makeOption(scheme, NS, Nv, NT, 0, dividend, exerciseType);
        solve(*o);
        benchmark::DoNotOptimize(o->results[1]);
    }
    setPriceCounters(state, NS, Nv, NT);
}
BENCHMARK(BM_McsSchemePrice)
    ->ArgsProduct({{3, 5, 7, 9, 10}, {60, 200}, {0}})
    ->ArgsProduct({{3}, {60, 200}, {1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
