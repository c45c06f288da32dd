// Multi-level sparse schemes 1 and 15: one Heston price at 60/30/30 and at 200/100/100 (time per
// price, and per grid-node-step in the counters), and one 20-strike solve.

#include "model/option_objects.h"
#include "numerics/array.h"

#include <benchmark/benchmark.h>

#include <memory>
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
    p[5] = 0.0;   // square-root law
    return p;
}

double solveOnce(OrvHestonVanilla& o)
{
    Array<double> a, b, c, d, e;
    double cpu = 0.0;
    o.calcPrice(a, b, c, d, e, &cpu);
    return o.results[2];
}

void setNodeStepCounter(benchmark::State& state, const OrvHestonVanilla& o)
{
    const double nodeSteps = static_cast<double>(o.nSNodes) * (o.Nv + 1) * o.NT;
    state.counters["node_steps"] = nodeSteps;
    // Shown as a time: seconds per grid-node-step.
    state.counters["per_node_step"] = benchmark::Counter(
        nodeSteps, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Arguments: scheme, NS, Nv, NT.
void BM_MultiLevelSparsePrice(benchmark::State& state)
{
    const int scheme = static_cast<int>(state.range(0));
    const int NS = static_cast<int>(state.range(1));
    const int Nv = static_cast<int>(state.range(2));
    const int NT = static_cast<int>(state.range(3));
    std::unique_ptr<OrvHestonVanilla> last;
    for (auto _ : state) {
        auto o = std::make_unique<OrvHestonVanilla>(
            100.0, 100.0, 1.0, hestonParams(), 0.02, 0.01, NS, Nv, NT, /*call*/ 0,
            /*priceMode*/ 3, 0, 0, Array<double>(5), Array<double>(5), true, -3.0, 0.0, 0.0, 0,
            false, 0, 0.0, scheme, false);
        benchmark::DoNotOptimize(solveOnce(*o));
        last = std::move(o);
    }
    setNodeStepCounter(state, *last);
}
BENCHMARK(BM_MultiLevelSparsePrice)
    ->Args({1, 60, 30, 30})
    ->Args({15, 60, 30, 30})
    ->Args({1, 200, 100, 100})
    ->Args({15, 200, 100, 100})
    ->Unit(benchmark::kMillisecond);

// Twenty strikes from 80 to 118 in one solve. Argument: scheme.
void BM_MultiLevelSparseTwentyStrikes(benchmark::State& state)
{
    const int scheme = static_cast<int>(state.range(0));
    std::vector<double> strikes;
    for (int k = 0; k < 20; ++k)
        strikes.push_back(80.0 + 2.0 * k);
    std::unique_ptr<OrvHestonVanilla> last;
    for (auto _ : state) {
        auto o = std::make_unique<OrvHestonVanilla>(
            100.0, strikes, 1.0, hestonParams(), 0.02, 0.01, 60, 30, 30, /*put*/ 1,
            /*priceMode*/ 3, 0, 0, Array<double>(5), Array<double>(5), true, -3.0, 0.0, 0.0, 0,
            false, 0, 0.0, scheme, false, /*strikeFlag*/ true, 1.0, 0.0);
        benchmark::DoNotOptimize(solveOnce(*o));
        last = std::move(o);
    }
    setNodeStepCounter(state, *last);
}
BENCHMARK(BM_MultiLevelSparseTwentyStrikes)->Arg(1)->Arg(15)->Unit(benchmark::kMillisecond);

}  // namespace
