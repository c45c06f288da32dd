// The objective under the bounded Levenberg-Marquardt search, as main runs it: reference chains
// fitted back to the parameters that generated them, and a failing objective stopping the search.

#include "calibration/calibration_objective.h"
#include "calibration/grid_refinement.h"
#include "calibration/support/chain_fixtures.h"
#include "levmar/levmar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

double kLower[5] = {0.002, 0.005, 0.01, 0.1, -1.0};  // main's box for codes 1 to 3
double kUpper[5] = {1.2, 1.2, 20.0, 20.0, 0.0};

CalibrationSettings settingsFor(int modelCode, bool accurate)
{
    CalibrationSettings s;
    s.NS = 60;
    s.Nv = 30;
    s.NT = 30;
    s.priceModeSelector = 2;
    s.stretchSelector = 1;
    s.quantileSelector = 1;
    s.modelCode = modelCode;
    s.accurateMode = accurate ? 1 : 0;
    return s;
}

// main's bounded runs with its options, restarted while the refinement rule stops a run (with the
// grids raised as main raises them); returns the RMSE at the end.
double fit(CalibrationSettings settings, std::vector<double>& p, std::vector<double> x)
{
    double opts[LM_OPTS_SZ] = {1e-3, 1e-15, settings.accurateMode ? 5e-5 : 5e-4, 1e-9, 1e-6};
    double info[LM_INFO_SZ];
    LevmarIterationHook hook = gridRefinementHook(settings);
    const int n = static_cast<int>(x.size());
    for (int run = 0; run < 10; ++run) {
        dlevmar_bc_dif_hooked(CalibrationObjective, p.data(), x.data(), 5, n, kLower, kUpper, nullptr, 1000,
                              opts, info, nullptr, nullptr, &settings, &hook);
        if (info[6] != gridRefinementStop) break;
        if (settings.NvLevel >= 1) settings.Nv = std::max(settings.Nv, 80);
        if (settings.NSLevel >= 1) settings.NS = std::max(settings.NS, 100);
    }
    return std::sqrt(info[1] / n);
}

// The chain's IVs are exact to 1e-11, so the search must find the generating parameters: its
// thresholds stop it below 0.1 bp of RMSE, where the parameters are pinned to 1e-3.
void fitHestonChain(bool accurate)
{
    const fixtures::Set set = fixtures::hestonSet("B", {0.25, 1.0, 2.0});
    fixtures::Files files;
    files.writeChain(set.chain());
    std::vector<double> p = {0.2, 0.2, 5.0, 5.0, -0.7};  // main's start
    EXPECT_LT(fit(settingsFor(3, accurate), p, set.ivs()), 1e-5);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_NEAR(p[i], set.params()[i], 1e-3 * std::fabs(set.params()[i])) << i;
}

TEST(ObjectiveFits, HestonChainFittedBackFromTheConsoleStartInSpeedMode) { fitHestonChain(false); }

TEST(ObjectiveFits, HestonChainFittedBackFromTheConsoleStartInAccurateMode) { fitHestonChain(true); }

// At the true parameters the speed grids put every model IV within 1.5e-5 of the Monte Carlo IVs,
// so a converged fit does at least as well, and leaves the parameters little room.
TEST(ObjectiveFits, GarchChainFittedFromAStartThirtyPercentAwayToWithinItsNoise)
{
    const fixtures::Set set = fixtures::garchSet("G1");
    fixtures::Files files;
    files.writeChain(set.chain());
    std::vector<double> p = set.params();
    for (double& v : p) v *= 1.3;
    EXPECT_LT(fit(settingsFor(1, false), p, set.ivs()), 3e-5);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_NEAR(p[i], set.params()[i], 0.02 * std::fabs(set.params()[i])) << i;
    EXPECT_EQ(files.solverLog(), "");
}

// The objective as the search sees it, until the chain file goes away under it.
struct Vanishing {
    int calls = 0;
    int failFrom = 0;
    const fixtures::Files* files = nullptr;
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
    const fixtures::Set set = fixtures::garchSet("G1");
    fixtures::Files files;
    files.writeChain(set.chain());
    std::vector<double> p = set.params(), x = set.ivs();
    for (double& v : p) v *= 1.3;
    double opts[LM_OPTS_SZ] = {1e-3, 1e-15, 5e-4, 1e-9, 1e-6};
    double info[LM_INFO_SZ];
    Vanishing v;
    v.files = &files;
    v.settings = settingsFor(1, false);
    v.failFrom = 8;  // the start point, the Jacobian (its base point and five columns), the first trial step
    EXPECT_EQ(dlevmar_bc_dif(vanishingChainObjective, p.data(), x.data(), 5, 10, kLower, kUpper, nullptr, 1000,
                             opts, info, nullptr, nullptr, &v),
              LM_ERROR);
    EXPECT_EQ(info[6], 7.0);
    EXPECT_EQ(v.calls, 8);
    const std::string stars(85, '*');
    EXPECT_EQ(files.solverLog(), stars + "\ninvalid stod argument\n" + stars + "\n\n");
}

}  // namespace
