// One European price per spot-grid splitting scheme (2, 4, 6, 8) on the coarse and the fine grid,
// and a 20-strike solve of scheme 2, through the full road (calcPrice -> dispatcher -> routine).
// Counters: time per price, and per grid-node-step (NS x Nv x NT).

#include "model/option_objects.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

Array<double> hestonParams()
{
    Array<double> p(6);
    p[0] = 0.3;   // volvol
    p[1] = 0.04;  // v0
    p[2] = 0.04;  // vL
    p[3] = 1.5;   // mean reversion
    p[4] = -0.7;  // rho
    p[5] = 0.0;   // model code: square-root variance
    return p;
}

void setCounters(benchmark::State& state, int NS, int Nv, int NT)
{
    const double nodeSteps = static_cast<double>(NS) * Nv * NT;
    state.counters["per_price"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate |
                                                                        benchmark::Counter::kInvert);
    state.counters["per_node_step"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * nodeSteps,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Args: scheme, NS (Nv = NS / 2, NT = NS / 2).
void BM_SpotSplittingPrice(benchmark::State& state)
{
    const int scheme = static_cast<int>(state.range(0));
    const int NS = static_cast<int>(state.range(1));
    const int Nv = NS / 2, NT = NS / 2;
    Array<Array<double>> out(5);
    for (auto _ : state) {
        OrvHestonVanilla o(100.0, 100.0, 1.0, hestonParams(), 0.02, 0.01, NS, Nv, NT, 0, 3, 0, 0,
                           Array<double>(5), Array<double>(5), true, -3.0, 0.0, 0.0, 0, false, 0,
                           0.0, scheme, false);
        double cpu = 0.0;
        o.calcPrice(out[0], out[1], out[2], out[3], out[4], &cpu);
        benchmark::DoNotOptimize(o.results[1]);
    }
    setCounters(state, NS, Nv, NT);
}
BENCHMARK(BM_SpotSplittingPrice)
    ->ArgsProduct({{2, 4, 6, 8}, {60, 200}})
    ->Unit(benchmark::kMillisecond);

// Twenty strikes 81 .. 119 of one expiry in one solve of scheme 2, implied volatilities included.
void BM_SpotSplittingMultiStrike(benchmark::State& state)
{
    const int NS = static_cast<int>(state.range(0));
    const int Nv = NS / 2, NT = NS / 2;
    std::vector<double> strikes;
    for (int k = 0; k < 20; ++k)
        strikes.push_back(81.0 + 2.0 * k);
    Array<Array<double>> out(5);
    for (auto _ : state) {
        OrvHestonVanilla o(100.0, strikes, 1.0, hestonParams(), 0.02, 0.01, NS, Nv, NT, 1, 3, 0, 0,
                           Array<double>(5), Array<double>(5), true, -3.0, 0.0, 0.0, 0, false, 0,
                           0.0, 2, false, true, 1.0, 0.0);
        double cpu = -1.0;  // implied volatilities too
        o.calcPrice(out[0], out[1], out[2], out[3], out[4], &cpu);
        benchmark::DoNotOptimize(o.strikeIVs[0]);
    }
    setCounters(state, NS, Nv, NT);
}
BENCHMARK(BM_SpotSplittingMultiStrike)->Arg(60)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace
