// Semi-analytic Heston pricing: one price, and a chain of 100 strikes, at the single-option
// export's integrator settings. The counter "evaluations" is the integrand evaluations per price.

#include <benchmark/benchmark.h>

#include "heston/heston_pricer.h"

namespace {

// A calibrated-looking parameter set: v0, vL, mean-reversion rate, volvol, rho.
const double v0 = 0.0175, vL = 0.0398, theta = 1.5768, volvol = 0.5751, rho = -0.5711;
const double S = 100.0, r = 0.03, d = 0.01;

void BM_HestonOnePrice(benchmark::State& state) {
    const double T = 1.0;
    double evaluations = 0.0;
    for (auto _ : state) {
        AnalyticHestonEngine engine = createGaussLobatto(1e-13, 1000000);
        benchmark::DoNotOptimize(hestonVanillaPrice(engine, S, 100.0, T, r, d, v0, vL, theta, volvol, rho, 1));
        evaluations = static_cast<double>(engine.evaluations);
    }
    state.counters["evaluations"] = evaluations;
}
BENCHMARK(BM_HestonOnePrice)->Unit(benchmark::kMicrosecond);

void BM_HestonChain100Strikes(benchmark::State& state) {
    const double T = 0.5;
    double evaluations = 0.0;
    std::int64_t prices = 0;
    for (auto _ : state) {
        AnalyticHestonEngine engine = createGaussLobatto(1e-13, 1000000);
        evaluations = 0.0;
        for (int i = 0; i < 100; ++i) {
            const double K = 50.0 + 1.5 * i;  // 50 .. 198.5
            const int type = K < S ? -1 : 1;    // out of the money side
            benchmark::DoNotOptimize(hestonVanillaPrice(engine, S, K, T, r, d, v0, vL, theta, volvol, rho, type));
            evaluations += static_cast<double>(engine.evaluations);
        }
        prices += 100;
    }
    state.counters["evaluations"] = evaluations / 100.0;  // per price
    state.counters["prices"] = benchmark::Counter(static_cast<double>(prices), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HestonChain100Strikes)->Unit(benchmark::kMillisecond);

}  // namespace
