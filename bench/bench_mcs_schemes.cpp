// One European price per Modified Craig-Sneyd scheme (3, 5, 7, 9) and of the sparse-start scheme
// 10 on the coarse (60/30/30) and the fine (200/100/100) grid, and an American call of scheme 3
// (the early-exercise projection after every step), through the full road (calcPrice ->
// dispatcher -> routine). Counters: time per price, and per grid-node-step (NS x Nv x NT).

#include "model/option_objects.h"

#include <benchmark/benchmark.h>

namespace {

Array<double> hestonParameters()
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

void setPriceCounters(benchmark::State& state, int NS, int Nv, int NT)
{
    const double nodeSteps = static_cast<double>(NS) * Nv * NT;
    state.counters["per_price"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate |
                                                                        benchmark::Counter::kInvert);
    state.counters["per_node_step"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * nodeSteps,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Args: scheme, NS (Nv = NS / 2, NT = NS / 2), exercise type (0 European, 1 American).
void BM_McsSchemePrice(benchmark::State& state)
{
    const int scheme = static_cast<int>(state.range(0));
    const int NS = static_cast<int>(state.range(1));
    const int exerciseType = static_cast<int>(state.range(2));
    const int Nv = NS / 2, NT = NS / 2;
    const double dividend = exerciseType == 1 ? 0.06 : 0.01;
    Array<Array<double>> out(5);
    for (auto _ : state) {
        OrvHestonVanilla o(100.0, 100.0, 1.0, hestonParameters(), 0.02, dividend, NS, Nv, NT, 0, 3,
                           0, exerciseType, Array<double>(5), Array<double>(5), true, -3.0, 0.0,
                           0.0, 0, false, 0, 0.0, scheme, false);
        double cpu = 0.0;
        o.calcPrice(out[0], out[1], out[2], out[3], out[4], &cpu);
        benchmark::DoNotOptimize(o.results[1]);
    }
    setPriceCounters(state, NS, Nv, NT);
}
BENCHMARK(BM_McsSchemePrice)
    ->ArgsProduct({{3, 5, 7, 9, 10}, {60, 200}, {0}})
    ->ArgsProduct({{3}, {60, 200}, {1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
