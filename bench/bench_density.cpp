// Critical variance of one expiry with the settings of the calibration objective.
#include <benchmark/benchmark.h>

#include "density/pdesolver1d.h"

namespace {

// GARCH diffusion: NX 800, NT 50, damped Crank-Nicolson, grid of 5 standard deviations.
void BM_ComputeVcritGarch(benchmark::State& state) {
    const double T = state.range(0) / 100.0;
    for (auto _ : state) {
        PDESolver1D solver(0.9999975, T, 0.04, 0.05, 2.0, 1.0, 800, 50, 2, 5, 0, 1.0, false, 1);
        benchmark::DoNotOptimize(solver.computeVcrit());
    }
    state.SetLabel("T = " + std::to_string(T));
}
BENCHMARK(BM_ComputeVcritGarch)->Arg(5)->Arg(25)->Arg(100)->Unit(benchmark::kMillisecond);

// v0 far below vL: the grid reaches up to where the drift carries the density, and the damped start
// needs shorter time steps there.
void BM_ComputeVcritGarchFarFromLongRun(benchmark::State& state) {
    const double T = state.range(0) / 100.0;
    for (auto _ : state) {
        PDESolver1D solver(0.9999975, T, 0.01, 0.06, 1.0, 0.5, 800, 50, 2, 5, 0, 1.0, false, 1);
        benchmark::DoNotOptimize(solver.computeVcrit());
    }
    state.SetLabel("T = " + std::to_string(T));
}
BENCHMARK(BM_ComputeVcritGarchFarFromLongRun)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

// Volatility-form dynamics as the objective runs them for its vol models: NT 100.
void BM_ComputeVcritVolForm(benchmark::State& state) {
    for (auto _ : state) {
        PDESolver1D solver(0.9999995, 1.0, 0.04, 0.05, 3.0, 1.0, 800, 100, 2, 5, 2, 1.0, false, 1);
        benchmark::DoNotOptimize(solver.computeVcrit());
    }
}
BENCHMARK(BM_ComputeVcritVolForm)->Unit(benchmark::kMillisecond);

}  // namespace
