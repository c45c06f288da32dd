// One European price per log-spot scheme (11, 12, 13 and the sparse-start 14) on the coarse
// (60/30/30) and the fine (200/100/100) grid, for the square-root law and the GARCH law, and a
// 20-strike solve of scheme 13, through the full road (calcPrice -> dispatcher -> routine).
// Counters: time per price, and per grid-node-step (NS x Nv x NT).

#include "model/option_objects.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

Array<double> modelParameters(int modelCode)
{
    Array<double> p(6);
    p[0] = modelCode == 0 ? 0.3 : 0.8;  // volvol
    p[1] = 0.04;                        // v0
    p[2] = 0.04;                        // vL
    p[3] = 1.5;                         // mean reversion
    p[4] = -0.7;                        // rho
    p[5] = modelCode;
    return p;
}

void setPriceCounters(benchmark::State& state, int NS, int Nv, int NT, double pricesPerSolve)
{
    const double nodeSteps = static_cast<double>(NS) * Nv * NT;
    state.counters["per_price"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * pricesPerSolve,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["per_node_step"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * nodeSteps,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Args: scheme, NS (Nv = NS / 2, NT = NS / 2), model code.
void BM_LogSpotSchemePrice(benchmark::State& state)
{
    const int scheme = static_cast<int>(state.range(0));
    const int NS = static_cast<int>(state.range(1));
    const int modelCode = static_cast<int>(state.range(2));
    const int Nv = NS / 2, NT = NS / 2;
    Array<Array<double>> out(5);
    for (auto _ : state) {
        OrvHestonVanilla o(100.0, 100.0, 1.0, modelParameters(modelCode), 0.02, 0.01, NS, Nv, NT,
                           0, 3, 0, 0, Array<double>(5), Array<double>(5), true, -3.0, 0.0, 0.0,
                           0, false, 0, 0.0, scheme, false);
        double cpu = 0.0;
        o.calcPrice(out[0], out[1], out[2], out[3], out[4], &cpu);
        benchmark::DoNotOptimize(o.results[1]);
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
    std::vector<double> strikes;
    for (int k = 0; k < 20; ++k)
        strikes.push_back(70.0 + 3.0 * k);
    Array<Array<double>> out(5);
    for (auto _ : state) {
        OrvHestonVanilla o(100.0, strikes, 1.0, modelParameters(1), 0.02, 0.01, NS, Nv, NT, 1, 3,
                           0, 0, Array<double>(5), Array<double>(5), true, -3.0, 0.0, 0.0, 0,
                           false, 0, 0.0, 13, false, true, 1.0, 0.0);
        double cpu = 0.0;
        o.calcPrice(out[0], out[1], out[2], out[3], out[4], &cpu);
        benchmark::DoNotOptimize(o.results[2]);
    }
    setPriceCounters(state, NS, Nv, NT, static_cast<double>(strikes.size()));
}
BENCHMARK(BM_LogSpotStrikeVector)->Arg(60)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace
