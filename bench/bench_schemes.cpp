// One European price per spot-grid splitting scheme (2, 4, 6, 8) on the coarse and the fine grid,
// and a 20-strike solve of scheme 2, through the full road (calcPrice -> dispatcher -> routine).
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
