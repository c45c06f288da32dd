#pragma once

// The option objects the scheme benchmarks price: the default Heston case (v0 = vL = 0.04, mean
// reversion 1.5, rho -0.7, S = K = 100, T 1, r 0.02, d 0.01) through the full road (calcPrice ->
// dispatcher -> routine), and the counters they report.

#include "model/option_objects.h"
#include "numerics/array.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace bench_support {

// Volatility of variance 0.3 for the square-root law (code 0), 0.8 for the others.
inline Array<double> modelParams(int modelCode = 0)
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

// A call at the money (priceMode 3).
inline std::unique_ptr<OrvHestonVanilla> makeOption(int scheme, int NS, int Nv, int NT,
                                                    int modelCode = 0, double dividend = 0.01,
                                                    int exerciseType = 0)
{
    return std::make_unique<OrvHestonVanilla>(
        100.0, 100.0, 1.0, modelParams(modelCode), 0.02, dividend, NS, Nv, NT, /*call*/ 0,
        /*priceMode*/ 3, 0, exerciseType, Array<double>(5), Array<double>(5), true, -3.0, 0.0, 0.0,
        0, false, 0, 0.0, scheme, false);
}

// Puts at all strikes of one expiry in one solve.
inline std::unique_ptr<OrvHestonVanilla> makeStrikeVectorOption(int scheme, int NS, int Nv, int NT,
                                                                const std::vector<double>& strikes,
                                                                int modelCode = 0)
{
    return std::make_unique<OrvHestonVanilla>(
        100.0, strikes, 1.0, modelParams(modelCode), 0.02, 0.01, NS, Nv, NT, /*put*/ 1,
        /*priceMode*/ 3, 0, 0, Array<double>(5), Array<double>(5), true, -3.0, 0.0, 0.0, 0, false,
        0, 0.0, scheme, false, /*strikeFlag*/ true, 1.0, 0.0);
}

// cpuTime -1 asks for the implied volatilities too.
inline void solve(OrvHestonVanilla& o, double cpuTime = 0.0)
{
    Array<Array<double>> out(5);
    o.calcPrice(out[0], out[1], out[2], out[3], out[4], &cpuTime);
}

inline std::vector<double> evenStrikes(double first, double step, int count)
{
    std::vector<double> strikes;
    for (int k = 0; k < count; ++k)
        strikes.push_back(first + step * k);
    return strikes;
}

// Time per price and per grid-node-step (NS x Nv x NT).
inline void setPriceCounters(benchmark::State& state, int NS, int Nv, int NT,
                             double pricesPerSolve = 1.0)
{
    const double nodeSteps = static_cast<double>(NS) * Nv * NT;
    state.counters["per_price"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * pricesPerSolve,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["per_node_step"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * nodeSteps,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace bench_support
