// One European price per log-spot scheme (11, 12, 13 and the sparse-start 14) on the coarse
// (60/30/30) and the fine (200/100/100) grid, for the square-root law and the GARCH law, and a
// 20-strike solve of scheme 13, through the full road (calcPrice -> dispatcher -> routine).
// Counters: time per price, and per grid-node-step (NS x Nv x NT).

#include "bench/support/heston_option.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace bench_support;

// Args: scheme, NS (Nv = NS / 2, NT = NS / 2), model code.
void BM_LogSpotSchemePrice(benchmark::State& state)
{
    const int scheme = static_cast<int>(state.range(0));
    const int NS = static_cast<int>(state.range(1));
    const int modelCode = static_cast<int>(state.range(2));
    const int Nv = NS / 2, NT = NS / 2;
    for (auto _ : state) {
        auto o = makeOption(scheme, NS, Nv, NT, modelCode);
        solve(*o);
        benchmark::DoNotOptimize(o->results[1]);
    }
    setPriceCounters(state, NS, Nv, NT, 1.0);
}
BENCHMARK(BM_LogSpotSchemePrice)
    ->ArgsProduct({{11, 12, 13, 14}, {60, 200}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// Args: NS (Nv = NS / 2, NT = NS / 2). Puts at 20 strikes from 70 to 127 in one solve.
void BM_LogSpotStrikeVector(benchmark::State& state)
{
    const int NS = static_cast<int>(state.range(0));
    const int Nv = NS / 2, NT = NS / 2;
    const std::vector<double> strikes = evenStrikes(70.0, 3.0, 20);
    for (auto _ : state) {
        auto o = makeStrikeVectorOption(13, NS, Nv, NT, strikes, 1);
        solve(*o);
        benchmark::DoNotOptimize(o->results[2]);
    }
    setPriceCounters(state, NS, Nv, NT, static_cast<double>(strikes.size()));
}
BENCHMARK(BM_LogSpotStrikeVector)->Arg(60)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace
