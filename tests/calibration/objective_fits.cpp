// The objective under the bounded Levenberg-Marquardt search, as main runs it: reference chains
// fitted back to the parameters that generated them, and a failing objective stopping the search.

#include "calibration/calibration_objective.h"
#include "calibration/grid_refinement.h"
#include "calibration/support/objective_files.h"
#include "levmar/levmar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using reference_chains::Set;

struct Fit {
    double p[5];
    double info[LM_INFO_SZ];
    double rmse;  // at the end of the last run
};

// main's bounded runs: its options, box and start for the model, restarted while the refinement
// rule stops a run (the grids are raised as main raises them in speed mode for the models here).
Fit runBounded(CalibrationSettings settings, const double start[5], const double lb[5],
               const double ub[5], std::vector<double> x)
{
    Fit fit{};
    for (int i = 0; i < 5; ++i) fit.p[i] = start[i];
    double opts[LM_OPTS_SZ] = {1e-3, 1e-15, settings.accurateMode ? 5e-5 : 5e-4, 1e-9, 1e-6};
    double lower[5], upper[5];
    for (int i = 0; i < 5; ++i) {
        lower[i] = lb[i];
        upper[i] = ub[i];
    }
    const int n = static_cast<int>(x.size());
    LevmarIterationHook hook = gridRefinementHook(settings);
    for (int run = 0; run < 10; ++run) {
        dlevmar_bc_dif_hooked(CalibrationObjective, fit.p, x.data(), 5, n, lower, upper, nullptr,
                              1000, opts, fit.info, nullptr, nullptr, &settings, &hook);
        if (fit.info[6] != gridRefinementStop) break;
        if (settings.NvLevel >= 1) settings.Nv = std::max(settings.Nv, 40);
        if (settings.NSLevel >= 1) settings.NS = std::max(settings.NS, 100);
    }
    fit.rmse = std::sqrt(fit.info[1] / n);
    return fit;
}

CalibrationSettings settingsFor(int modelCode, bool accurate)
{
    CalibrationSettings s;
    s.NS = 60;
    s.Nv = 30;
    s.NT = 30;
    s.schemeNumber = 2;
    s.priceModeSelector = 2;
    s.stretchSelector = 1;
    s.quantileSelector = 1;
    s.modelCode = modelCode;
    s.accurateMode = accurate ? 1 : 0;
    return s;
}

const double kLower[5] = {0.002, 0.005, 0.01, 0.1, -1.0};
const double kUpper[5] = {1.2, 1.2, 20.0, 20.0, 0.0};

// The chain's IVs are exact to 1e-11, so the search must find the generating parameters: its
// residual thresholds stop it below 0.1 bp of RMSE, where the parameters are pinned to 1e-3.
void fitHestonChain(bool accurate)
{
    Set set = reference_chains::hestonSet("B");
    std::vector<reference_chains::Option> options;
    for (const auto& o : set.options) {
        if (o.T == 0.25 || o.T == 1.0 || o.T == 2.0) options.push_back(o);
    }
    set.options = options;
    ObjectiveFiles files;
    files.writeChain(referenceChainText(set));
    std::vector<double> x;
    for (const auto& o : pricedOptions(set)) x.push_back(o.iv);
    const double truth[5] = {set.v0, set.vL, set.kappa, set.volvol, set.rho};
    const double start[5] = {0.2, 0.2, 5.0, 5.0, -0.7};
    const Fit fit = runBounded(settingsFor(3, accurate), start, kLower, kUpper, x);
    EXPECT_LT(fit.rmse, 1e-5) << "stop " << fit.info[6];
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(fit.p[i], truth[i], 1e-3 * std::fabs(truth[i])) << "parameter " << i;
    }
}

TEST(ObjectiveFits, HestonChainFittedBackFromTheConsoleStartInSpeedMode) { fitHestonChain(false); }

TEST(ObjectiveFits, HestonChainFittedBackFromTheConsoleStartInAccurateMode) { fitHestonChain(true); }

TEST(ObjectiveFits, GarchChainFittedFromAStartThirtyPercentAwayToWithinItsNoise)
{
    const Set set = reference_chains::garchSet("G1");
    ObjectiveFiles files;
    files.writeChain(referenceChainText(set));
    std::vector<double> x;
    for (const auto& o : set.options) x.push_back(o.iv);
    const double truth[5] = {set.v0, set.vL, set.kappa, set.volvol, set.rho};
    double start[5];
    for (int i = 0; i < 5; ++i) start[i] = 1.3 * truth[i];
    const Fit fit = runBounded(settingsFor(1, false), start, kLower, kUpper, x);
    // At the true parameters the speed grids put every model IV within 1.5e-5 of the Monte Carlo
    // IVs, so a converged fit does at least as well; the parameters move back from 30% away to
    // within the little that this noise leaves free.
    EXPECT_LT(fit.rmse, 3e-5) << "stop " << fit.info[6];
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(fit.p[i], truth[i], 0.02 * std::fabs(truth[i])) << "parameter " << i;
    }
    EXPECT_EQ(files.solverLog(), "");
}

// The objective as the search sees it, until the chain file goes away under it.
struct Vanishing {
    int calls = 0;
    int failFrom = 0;
    const ObjectiveFiles* files = nullptr;
    CalibrationSettings settings;
};

void vanishingChainObjective(double* p, double* hx, int m, int n, void* adata)
{
    Vanishing& v = *static_cast<Vanishing*>(adata);
    if (++v.calls == v.failFrom) v.files->removeChain();
    CalibrationObjective(p, hx, m, n, &v.settings);
}

TEST(ObjectiveFits, AnObjectiveFailureMidRunStopsTheSearchWithReasonSeven)
{
    const Set set = reference_chains::garchSet("G1");
    ObjectiveFiles files;
    files.writeChain(referenceChainText(set));
    std::vector<double> x;
    for (const auto& o : set.options) x.push_back(o.iv);
    double p[5];
    const double truth[5] = {set.v0, set.vL, set.kappa, set.volvol, set.rho};
    for (int i = 0; i < 5; ++i) p[i] = 1.3 * truth[i];
    double lower[5], upper[5];
    for (int i = 0; i < 5; ++i) {
        lower[i] = kLower[i];
        upper[i] = kUpper[i];
    }
    double opts[LM_OPTS_SZ] = {1e-3, 1e-15, 5e-4, 1e-9, 1e-6};
    double info[LM_INFO_SZ];
    Vanishing v;
    v.files = &files;
    v.settings = settingsFor(1, false);
    v.failFrom = 8;  // the start point, the Jacobian (its base point and five columns), then the
                     // first trial step
    const int result = dlevmar_bc_dif(vanishingChainObjective, p, x.data(), 5, 10, lower, upper,
                                      nullptr, 1000, opts, info, nullptr, nullptr, &v);
    EXPECT_EQ(result, LM_ERROR);
    EXPECT_EQ(info[6], 7.0);
    EXPECT_EQ(v.calls, 8);
    const std::string stars(85, '*');
    EXPECT_EQ(files.solverLog(), stars + "\ninvalid stod argument\n" + stars + "\n\n");
}

}  // namespace
