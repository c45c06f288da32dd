// Multi-level sparse schemes 1 and 15: one Heston price at 60/30/30 and at 200/100/100 (time per
// price, and per grid-node-step in the counters), and one 20-strike solve.

#include "bench/support/heston_option.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

using namespace bench_support;

double solveOnce(OrvHestonVanilla& o)
{
    solve(o);
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
        auto o = makeOption(scheme, NS, Nv, NT);
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
    const std::vector<double> strikes = evenStrikes(80.0, 2.0, 20);
    std::unique_ptr<OrvHestonVanilla> last;
    for (auto _ : state) {
        auto o = makeStrikeVectorOption(scheme, 60, 30, 30, strikes);
        benchmark::DoNotOptimize(solveOnce(*o));
        last = std::move(o);
    }
    setNodeStepCounter(state, *last);
}
BENCHMARK(BM_MultiLevelSparseTwentyStrikes)->Arg(1)->Arg(15)->Unit(benchmark::kMillisecond);

}  // namespace
