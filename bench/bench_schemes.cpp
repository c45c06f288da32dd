// One European price per spot-grid splitting scheme (2, 4, 6, 8) on the coarse and the fine grid,
// a European and an American price of scheme 2, and a 20-strike solve of scheme 2, through the full road (calcPrice -> dispatcher -> routine).
// Counters: time per price, and per grid-node-step (NS x Nv x NT).

#include "bench/support/heston_option.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace bench_support;

// Args: scheme, NS (Nv = NS / 2, NT = NS / 2).
void BM_SpotSplittingPrice(benchmark::State& state)
{
    const int scheme = static_cast<int>(state.range(0));
    const int NS = static_cast<int>(state.range(1));
    const int Nv = NS / 2, NT = NS / 2;
    for (auto _ : state) {
        auto o = makeOption(scheme, NS, Nv, NT);
        solve(*o);
        benchmark::DoNotOptimize(o->results[1]);
    }
    setPriceCounters(state, NS, Nv, NT);
}
BENCHMARK(BM_SpotSplittingPrice)
    ->ArgsProduct({{2, 4, 6, 8}, {60, 200}})
    ->Unit(benchmark::kMillisecond);

// Scheme 2 on 200 x 100 x 200, European (0) and American (1): what the projection onto the payoff
// after every step costs. A dividend yield above the rate makes early exercise of the call pay.
void BM_SpotSplittingExercise(benchmark::State& state)
{
    const int exerciseType = static_cast<int>(state.range(0));
    for (auto _ : state) {
        auto o = makeOption(2, 200, 100, 200, 0, 0.06, exerciseType);
        solve(*o);
        benchmark::DoNotOptimize(o->results[1]);
    }
    setPriceCounters(state, 200, 100, 200);
}
BENCHMARK(BM_SpotSplittingExercise)
    ->ArgName("exerciseType")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

// Twenty strikes 81 .. 119 of one expiry in one solve of scheme 2, implied volatilities included.
void BM_SpotSplittingMultiStrike(benchmark::State& state)
{
    const int NS = static_cast<int>(state.range(0));
    const int Nv = NS / 2, NT = NS / 2;
    const std::vector<double> strikes = evenStrikes(81.0, 2.0, 20);
    for (auto _ : state) {
        auto o = makeStrikeVectorOption(2, NS, Nv, NT, strikes);
        solve(*o, -1.0);
        benchmark::DoNotOptimize(o->strikeIVs[0]);
    }
    setPriceCounters(state, NS, Nv, NT);
}
BENCHMARK(BM_SpotSplittingMultiStrike)->Arg(60)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace
