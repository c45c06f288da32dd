#include "numerics/black_scholes.h"
#include "numerics/implied_vol.h"
#include "numerics/tridiagonal.h"

#include <benchmark/benchmark.h>

namespace {

// Implied volatility of a one-year call priced at 25% volatility, by moneyness K/S in percent, with
// the bracket and tolerance the pricing code uses.
void BM_BrentImpliedVol(benchmark::State& state)
{
    const double S = 100.0;
    const double K = static_cast<double>(state.range(0));
    ImpliedVolTarget target{S, K, 1.0, 0.03, 0.01, 0.0, 0};
    target.price = blackScholesPrice(S, K, target.r, target.d, 0.25, target.T, 0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(brentImpliedVol(&target, 1e-15, 2.0, 1e-16));
    }
}
BENCHMARK(BM_BrentImpliedVol)->Arg(60)->Arg(90)->Arg(100)->Arg(110)->Arg(150);

struct DiffusionSystem {
    int n;
    Array<double> sub, diag, super, mult, superCopy, pivot, rhs, x;
    explicit DiffusionSystem(int order)
        : n(order), sub(-0.4, order + 1), diag(1.9, order + 1), super(-0.5, order + 1), mult(order + 1),
          superCopy(order + 1), pivot(order + 1), rhs(order + 1), x(order + 1)
    {
        for (int i = 1; i <= n; ++i) {
            rhs[i] = 1.0 / i;
        }
    }
};

// One solve with factors kept from an earlier factorisation (the common case in time stepping).
void BM_TridiagSolve(benchmark::State& state)
{
    DiffusionSystem s(static_cast<int>(state.range(0)));
    tridiagFactor(s.n, s.sub, s.diag, s.super, s.mult, s.superCopy, s.pivot);
    for (auto _ : state) {
        tridiagSolve(s.n, s.mult, s.superCopy, s.pivot, s.rhs, s.x);
        benchmark::DoNotOptimize(s.x[1]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TridiagSolve)->Arg(100)->Arg(1000);

void BM_TridiagFactorAndSolve(benchmark::State& state)
{
    DiffusionSystem s(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        tridiagFactor(s.n, s.sub, s.diag, s.super, s.mult, s.superCopy, s.pivot);
        tridiagSolve(s.n, s.mult, s.superCopy, s.pivot, s.rhs, s.x);
        benchmark::DoNotOptimize(s.x[1]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TridiagFactorAndSolve)->Arg(100)->Arg(1000);

} // namespace
