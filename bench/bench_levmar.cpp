#include "levmar/levmar.h"
#include "tests/levmar/support/published_problems.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

// Five parameters, a hundred residuals, a model that costs next to nothing: what remains is the
// layer's own work per iteration (normal equations, solve, projections, bookkeeping).
void trivialModel(double* p, double* hx, int, int n, void*)
{
    for (int i = 0; i < n; ++i) {
        const double t = 0.01 * i;
        hx[i] = p[0] + p[1] * t + p[2] * t * t + p[3] * std::sin(t) + p[4] * p[4] * t;
    }
}

// Iterations are not allowed to end on a tolerance: every run makes itmax iterations.
void BM_LayerCostPerIteration(benchmark::State& state)
{
    const bool bounded = state.range(0) != 0;
    const int m = 5, n = 100, itmax = 50;
    std::vector<double> x(n);
    for (int i = 0; i < n; ++i) x[i] = std::cos(0.07 * i);  // not reachable by the model
    double lb[5] = {-10, -10, -10, -10, -10}, ub[5] = {10, 10, 10, 10, 10};
    double opts[5] = {LM_INIT_MU, 0.0, 0.0, 0.0, LM_DIFF_DELTA}, info[LM_INFO_SZ];
    double iterations = 0.0, evaluations = 0.0;
    for (auto _ : state) {
        double p[5] = {0.5, 0.5, 0.5, 0.5, 0.5};
        if (bounded)
            dlevmar_bc_dif(trivialModel, p, x.data(), m, n, lb, ub, nullptr, itmax, opts, info,
                           nullptr, nullptr, nullptr);
        else
            dlevmar_dif(trivialModel, p, x.data(), m, n, itmax, opts, info, nullptr, nullptr,
                        nullptr);
        iterations += info[5];
        evaluations += info[7];
        benchmark::DoNotOptimize(p);
    }
    state.counters["iteration"] =
        benchmark::Counter(iterations, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["evals/iteration"] = evaluations / iterations;
}
BENCHMARK(BM_LayerCostPerIteration)->ArgName("bounded")->Arg(0)->Arg(1);

// The objective alone, for comparison with the per-iteration cost above.
void BM_TrivialModelCall(benchmark::State& state)
{
    double p[5] = {0.5, 0.5, 0.5, 0.5, 0.5}, hx[100];
    for (auto _ : state) {
        trivialModel(p, hx, 5, 100, nullptr);
        benchmark::DoNotOptimize(hx);
    }
}
BENCHMARK(BM_TrivialModelCall);

// Evaluations (finite differences included) to converge on the published problems from their
// standard starts: arguments problem index, driver (0 dif, 1 bc_dif with a wide box), central.
void BM_EvaluationsToConverge(benchmark::State& state)
{
    const published::Problem pr = published::problems()[state.range(0)];
    const bool bounded = state.range(1) != 0;
    const double delta = state.range(2) != 0 ? -LM_DIFF_DELTA : LM_DIFF_DELTA;
    std::vector<double> x(pr.n, 0.0), lb(pr.m, -1e5), ub(pr.m, 1e5);
    double opts[5] = {LM_INIT_MU, 1e-15, 1e-15, 1e-20, delta}, info[LM_INFO_SZ];
    for (auto _ : state) {
        std::vector<double> p = pr.start;
        if (bounded)
            dlevmar_bc_dif(pr.func, p.data(), x.data(), pr.m, pr.n, lb.data(), ub.data(), nullptr,
                           10000, opts, info, nullptr, nullptr, nullptr);
        else
            dlevmar_dif(pr.func, p.data(), x.data(), pr.m, pr.n, 10000, opts, info, nullptr,
                        nullptr, nullptr);
        benchmark::DoNotOptimize(p);
    }
    state.SetLabel(pr.name);
    state.counters["evaluations"] = info[7];
    state.counters["iterations"] = info[5];
    state.counters["stop"] = info[6];
    state.counters["F"] = info[1];
}
BENCHMARK(BM_EvaluationsToConverge)
    ->ArgNames({"problem", "bounded", "central"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5}, {0, 1}, {0, 1}});

}  // namespace
