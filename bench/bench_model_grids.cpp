#include "model/fd_weights.h"
#include "model/option_objects.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

std::unique_ptr<OrvHestonVanilla> gridOption(int NS, int Nv, double modelCode)
{
    Array<double> params(6);
    params[0] = 0.8;   // volvol
    params[1] = 0.04;  // v0
    params[2] = 0.05;  // vL
    params[3] = 2.0;   // theta
    params[4] = -0.6;  // rho
    params[5] = modelCode;
    return std::make_unique<OrvHestonVanilla>(100.0, 105.0, 1.0, params, 0.03, 0.01, NS, Nv, 50, 1, 3, 0,
                                              0, Array<double>(5), Array<double>(5), true, -3.0, 0.0,
                                              modelCode == 0.0 ? 0.0 : 0.999, 1, false, 0, 0.0, 1, false);
}

// Everything a solve lays before it steps: the variance bound, the clustered spot grid, the hybrid
// variance grid, the payoff and its smoothing. Arguments: NS, Nv, model code.
void BM_GridSetUp(benchmark::State& state)
{
    const int NS = static_cast<int>(state.range(0)), Nv = static_cast<int>(state.range(1));
    for (auto _ : state) {
        auto o = gridOption(NS, Nv, static_cast<double>(state.range(2)));
        const double vmax = o->calcVmax(o->T + o->extraT);
        Array<double> s, v;
        o->generateNonUniformSGrid(s, 4.5, false);
        o->hybridVGridGenerator(o->v0, o->Nv, vmax, 4.0, v);
        o->setPayoff();
        o->smoothPayoff();
        benchmark::DoNotOptimize(v[v.size() - 1]);
    }
}
BENCHMARK(BM_GridSetUp)->Args({100, 50, 0})->Args({400, 200, 0})->Args({400, 200, 1})->Unit(benchmark::kMicrosecond);

// One implicit-step matrix of the sparse schemes on a 7-point stencil; items are grid nodes.
void BM_AssembleOperator(benchmark::State& state)
{
    const int NS = static_cast<int>(state.range(0)), Nv = static_cast<int>(state.range(1));
    auto o = gridOption(NS, Nv, 1.0);
    Array<double> s, v;
    o->generateNonUniformSGrid(s, 4.5, false);
    o->hybridVGridGenerator(o->v0, o->Nv, o->calcVmax(1.0), 4.0, v);
    o->VGrid = v;
    const std::size_t n = s.size();
    const GridWeights sw = buildGridWeights(s, 2.0 * (s[n - 1] - s[n - 2]) - (s[n - 2] - s[n - 3]));
    const GridWeights vw = buildGridWeights(v, 0.0);
    std::vector<Eigen::Triplet<double>> triplets;
    for (auto _ : state) {
        triplets.clear();
        o->assembleOperator(triplets, sw.d2Lower, sw.d2Upper, sw.d2Diag, sw.d1Lower, sw.d1Upper, sw.d1Diag,
                            sw.steps, vw.steps, vw.d2Lower, vw.d2Upper, vw.d2Diag, vw.d1Lower, vw.d1Upper,
                            vw.d1Diag, -0.1, 0.2, -0.05, 0.01, 0);
        benchmark::DoNotOptimize(triplets.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(o->NS) * o->Nv);
}
BENCHMARK(BM_AssembleOperator)->Args({100, 50})->Args({400, 200})->Unit(benchmark::kMicrosecond);

}  // namespace
