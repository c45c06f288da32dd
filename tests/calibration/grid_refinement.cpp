// The grid-refinement rule: its threshold table on the levels, and the stops it causes in bounded
// runs of a synthetic five-parameter objective.

#include "calibration/grid_refinement.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

struct Levels {
    int rho, NS, Nv;
};

struct Case {
    const char* what;
    int modelCode;
    int accurateMode;
    std::array<double, 5> p;  // v0 or its volatility, second parameter, kappa, -, rho
    int k;
    Levels before;
    bool fires;
    Levels after;
};

const Case cases[] = {
    {"speed I-Ga vol never checks", 5, 0, {0.9, 0.9, 0.5, 0.5, -0.99}, 10, {0, 0, 0}, false, {0, 0, 0}},
    {"speed Heston never checks", 3, 0, {0.9, 0.9, 0.5, 0.5, -0.99}, 10, {0, 0, 0}, false, {0, 0, 0}},
    {"speed ORV-X1 below 0.25 skips", 4, 0, {0.2, 0.3, 0.5, 0.5, -0.99}, 10, {0, 0, 0}, false, {0, 0, 0}},
    {"speed ORV-X1 at 0.26 climbs two", 4, 0, {0.26, 0.1, 2.0, 0.5, -0.5}, 0, {0, 0, 0}, true, {0, 0, 2}},
    {"speed XGBM product 0.2 skips", 6, 0, {0.5, 0.4, 0.5, 0.5, -0.99}, 10, {0, 0, 0}, false, {0, 0, 0}},
    {"speed XGBM 0.6 squared climbs three", 6, 0, {0.6, 0.6, 2.0, 0.5, -0.5}, 0, {0, 0, 0}, true, {0, 0, 3}},
    {"XGBM row 8 from k = 4", 6, 0, {0.6, 0.6, 2.0, 0.5, -0.5}, 4, {0, 0, 0}, true, {0, 1, 3}},
    {"rho waits until k = 4", 1, 0, {0.05, 0.1, 2.0, 0.5, -0.96}, 3, {0, 0, 0}, false, {0, 0, 0}},
    {"rho at k = 4", 1, 0, {0.05, 0.1, 2.0, 0.5, -0.96}, 4, {0, 0, 0}, true, {1, 0, 0}},
    {"rho level 1 stays", 1, 0, {0.05, 0.1, 2.0, 0.5, -0.96}, 10, {1, 0, 0}, false, {1, 0, 0}},
    {"small kappa at k = 0", 2, 0, {0.05, 0.1, 0.5, 0.5, -0.5}, 0, {0, 0, 0}, true, {0, 1, 0}},
    {"small kappa only from level 0", 2, 0, {0.05, 0.1, 0.5, 0.5, -0.5}, 0, {0, 1, 0}, false, {0, 1, 0}},
    {"v0 0.6 climbs to 4 in one pass", 1, 1, {0.6, 0.1, 2.0, 0.5, -0.5}, 0, {0, 0, 0}, true, {0, 0, 4}},
    {"row 1 needs level 0", 1, 1, {0.15, 0.1, 2.0, 0.5, -0.5}, 0, {0, 0, 1}, false, {0, 0, 1}},
    {"row 3 from level 2", 1, 1, {0.35, 0.1, 2.0, 0.5, -0.5}, 0, {0, 0, 2}, true, {0, 0, 3}},
    {"row 4 only", 1, 1, {0.55, 0.1, 2.0, 0.5, -0.5}, 0, {0, 0, 3}, true, {0, 0, 4}},
    {"top level stays", 1, 1, {0.9, 0.1, 2.0, 0.5, -0.5}, 0, {0, 0, 4}, false, {0, 0, 4}},
    {"rows 6 and 7 wait for k = 4", 1, 1, {0.05, 0.9, 2.0, 0.5, -0.5}, 3, {0, 0, 0}, false, {0, 0, 0}},
    {"rows 6 and 7 in one pass", 1, 1, {0.05, 0.9, 2.0, 0.5, -0.5}, 4, {0, 0, 0}, true, {0, 3, 0}},
    {"rows 5 and 6 in one pass", 1, 1, {0.05, 0.3, 0.5, 0.5, -0.5}, 4, {0, 0, 0}, true, {0, 2, 0}},
    {"row 7 from level 2", 4, 1, {0.05, 0.85, 2.0, 0.5, -0.5}, 5, {0, 2, 0}, true, {0, 3, 0}},
    {"accurate Heston checks", 3, 1, {0.2, 0.1, 2.0, 0.5, -0.5}, 0, {0, 0, 0}, true, {0, 0, 2}},
    {"I-Ga vol squares its volatility", 5, 1, {0.4, 0.1, 2.0, 0.5, -0.5}, 0, {0, 0, 0}, true, {0, 0, 1}},
    {"volatility models: row 8, not 6 and 7", 5, 1, {0.2, 0.9, 2.0, 0.5, -0.5}, 4, {0, 0, 0}, true, {0, 1, 0}},
    {"row 8 on the unsquared product", 6, 1, {0.35, 0.3, 2.0, 0.5, -0.5}, 4, {0, 0, 1}, true, {0, 1, 1}},
    {"row 8 only from level 0", 6, 1, {0.35, 0.3, 2.0, 0.5, -0.5}, 4, {0, 1, 1}, false, {0, 1, 1}},
};

}  // namespace

TEST(GridRefinementRule, ThresholdTable)
{
    for (const Case& c : cases) {
        CalibrationSettings s;
        s.modelCode = c.modelCode;
        s.accurateMode = c.accurateMode;
        s.rhoLevel = c.before.rho;
        s.NSLevel = c.before.NS;
        s.NvLevel = c.before.Nv;
        EXPECT_EQ(gridRefinementCheck(s, c.p.data(), c.k), c.fires) << c.what;
        EXPECT_EQ(s.rhoLevel, c.after.rho) << c.what;
        EXPECT_EQ(s.NSLevel, c.after.NS) << c.what;
        EXPECT_EQ(s.NvLevel, c.after.Nv) << c.what;
        EXPECT_EQ(s.NS, 0) << c.what;  // the rule touches the levels only
    }
}

namespace {

// Five parameters; Rosenbrock's valley in (kappa - 3, p[3]) keeps the search busy for more than
// four iterations while v0, the second parameter and rho sit at their targets.
void syntheticCalibration(double* p, double* hx, int, int, void*)
{
    const double u = p[2] - 3.0;
    hx[0] = 10.0 * (p[3] - u * u);
    hx[1] = 1.0 - u;
    hx[2] = p[0] - 0.04;
    hx[3] = p[1] - 0.2;
    hx[4] = p[4] + 0.96;
}

}  // namespace

TEST(GridRefinementRule, StopsABoundedRunAndTheNextRunGoesOn)
{
    CalibrationSettings settings;
    settings.modelCode = 1;
    settings.accurateMode = 0;
    const LevmarIterationHook hook = gridRefinementHook(settings);
    double p[5] = {0.04, 0.2, 1.8, 1.0, -0.96};
    double x[5] = {};
    double lb[5] = {0.001, 0.001, 1.0, -10.0, -1.0};
    double ub[5] = {1.2, 5.0, 20.0, 10.0, 1.0};
    double opts[5] = {1e-3, 1e-15, 5e-4, 1e-9, 1e-6};
    double info[LM_INFO_SZ];

    int k = dlevmar_bc_dif_hooked(syntheticCalibration, p, x, 5, 5, lb, ub, nullptr, 1000, opts,
                                  info, nullptr, nullptr, &settings, &hook);
    EXPECT_EQ(info[6], gridRefinementStop);
    EXPECT_EQ(k, 4);  // rho sits beyond -0.95 from the start, but its row waits for k = 4
    EXPECT_EQ(settings.rhoLevel, 1);
    EXPECT_EQ(settings.NSLevel, 0);
    EXPECT_EQ(settings.NvLevel, 0);

    // The second run continues from the parameters reached and is not stopped for rho again.
    k = dlevmar_bc_dif_hooked(syntheticCalibration, p, x, 5, 5, lb, ub, nullptr, 1000, opts, info,
                              nullptr, nullptr, &settings, &hook);
    EXPECT_NE(info[6], gridRefinementStop);
    EXPECT_GT(k, 0);
    EXPECT_EQ(settings.rhoLevel, 1);
    EXPECT_NEAR(p[2], 4.0, 1e-3);
}
