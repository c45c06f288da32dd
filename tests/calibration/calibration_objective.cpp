// The calibration objective: model IVs of a GARCH chain against a Monte Carlo reference, the
// same IVs on any number of threads, its range checks, bucket sizing and variance-grid bounds,
// and every failure path (NaN in hx, the log record).

#include "calibration/calibration_objective.h"
#include "calibration/quote_filters.h"
#include "calibration/work_balance.h"
#include "calibration/support/objective_files.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using reference_chains::Set;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// main's settings for GARCH diffusion in speed mode.
CalibrationSettings garchSpeedSettings()
{
    CalibrationSettings s;
    s.NS = 60;
    s.Nv = 30;
    s.NT = 30;
    s.schemeNumber = 2;
    s.priceModeSelector = 2;
    s.strikeVectorFlag = 0;
    s.stretchSelector = 1;
    s.quantileSelector = 1;
    s.modelCode = 1;
    return s;
}

bool allNaN(const std::vector<double>& v)
{
    return std::all_of(v.begin(), v.end(), [](double x) { return std::isnan(x); });
}

std::size_t count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

std::vector<double> evaluate(double* p, int n, CalibrationSettings settings)
{
    std::vector<double> hx(static_cast<std::size_t>(n), -1.0);
    CalibrationObjective(p, hx.data(), 5, n, &settings);
    return hx;
}

// The Monte Carlo reference holds IVs to one standard error (below 1e-4 in IV here); the speed
// grids of main's first runs carry a discretisation error of their own, which 3 bp of IV bound.
TEST(CalibrationObjective, GarchChainAtTheTrueParametersMatchesTheMonteCarloIVs)
{
    const Set set = reference_chains::garchSet("G1");
    ASSERT_EQ(set.options.size(), 10u);
    ObjectiveFiles files;
    files.writeChain(referenceChainText(set));
    double p[5] = {set.v0, set.vL, set.kappa, set.volvol, set.rho};
    const std::vector<double> hx = evaluate(p, 10, garchSpeedSettings());
    for (std::size_t i = 0; i < set.options.size(); ++i) {
        const auto& o = set.options[i];
        EXPECT_NEAR(hx[i], o.iv, o.ivError + 3e-4) << "K " << o.K << " T " << o.T;
    }
    EXPECT_EQ(files.solverLog(), "");
}

// Eight expiries of five strikes, one option quoted twice at different IVs, one too cheap to
// keep: 41 model IVs.
std::string eightExpiryChain()
{
    std::vector<chain_files::Row> rows;
    for (double days : {30.0, 60.0, 91.0, 182.0, 273.0, 365.0, 548.0, 730.0}) {
        for (double K : {85.0, 92.5, 100.0, 107.5, 115.0}) {
            rows.push_back({0.2 + 0.001 * (K - 100.0) * (K - 100.0) / 100.0, K, days, 0.02, 0.01});
        }
    }
    rows.push_back({0.25, 100.0, 182.0, 0.02, 0.01});
    rows.push_back({0.2, 60.0, 30.0, 0.02, 0.01});
    return chain_files::headerChainText(100.0, rows);
}

TEST(CalibrationObjective, SameBitsOnOneTwoFourAndEightThreads)
{
    ObjectiveFiles files;
    files.writeChain(eightExpiryChain());
    const int before = omp_get_max_threads();
    struct Model {
        int code;
        double p[5];
        int NS, Nv;
    };
    const Model models[] = {{1, {0.04, 0.05, 2.0, 1.0, -0.5}, 60, 30},
                            {4, {0.04, 0.05, 2.0, 1.0, -0.5}, 100, 100}};
    for (const Model& m : models) {
        CalibrationSettings settings = garchSpeedSettings();
        settings.modelCode = m.code;
        settings.NS = m.NS;
        settings.Nv = m.Nv;
        double p[5];
        std::copy(m.p, m.p + 5, p);
        std::vector<std::vector<double>> runs;
        for (int threads : {1, 2, 4, 8}) {
            omp_set_num_threads(threads);
            runs.push_back(evaluate(p, 41, settings));
        }
        omp_set_num_threads(before);
        for (double iv : runs[0]) {
            EXPECT_TRUE(iv > 0.05 && iv < 0.6) << "code " << m.code << " iv " << iv;
        }
        // the two quotes of (182 days, 100) share one model IV
        EXPECT_EQ(runs[0][17], runs[0][18]) << "code " << m.code;
        for (std::size_t t = 1; t < runs.size(); ++t) {
            EXPECT_EQ(std::memcmp(runs[0].data(), runs[t].data(), 41 * sizeof(double)), 0)
                << "code " << m.code << " run " << t;
        }
    }
    EXPECT_EQ(files.solverLog(), "");
}

TEST(CalibrationObjective, RangesAreInclusiveAndNaNFails)
{
    struct Case {
        int code;
        int index;
        double value;
        const char* failure;  // null when the value passes
    };
    const double nan = kNaN;
    const Case cases[] = {
        {1, 3, 0.1, nullptr},   {1, 3, 30.0, nullptr},  {1, 3, 0.0999, "xi"},
        {1, 4, 0.3, nullptr},   {1, 4, -1.0, nullptr},  {1, 4, 0.31, "rho"},
        {1, 2, 0.005, nullptr}, {4, 2, 0.005, "kappa"}, {4, 2, 0.01, nullptr},
        {1, 0, 0.0007, "v0"},   {4, 0, 0.0007, nullptr}, {5, 0, 0.0005, nullptr},
        {1, 1, 1.2, nullptr},   {1, 1, 1.3, "vBar"},    {6, 1, 2.5, nullptr},
        {1, 2, 100.0, nullptr}, {1, 2, 100.5, "kappa"},
        {1, 0, nan, "v0"},      {1, 1, nan, "vBar"},    {1, 2, nan, "kappa"},
        {1, 3, nan, "xi"},      {1, 4, nan, "rho"},
    };
    for (const Case& c : cases) {
        double p[5] = {0.04, 0.04, 2.0, 1.0, -0.5};
        p[c.index] = c.value;
        optimizationStopped = false;
        if (!c.failure) {
            EXPECT_NO_THROW(checkParameterRanges(p, c.code)) << c.code << " " << c.index;
            EXPECT_FALSE(optimizationStopped);
            continue;
        }
        try {
            checkParameterRanges(p, c.code);
            ADD_FAILURE() << "no exception: code " << c.code << " index " << c.index;
        } catch (const std::exception& e) {
            EXPECT_EQ(std::string(e.what()),
                      std::string(c.failure) + " is out of range. Stopping optimization.");
            EXPECT_TRUE(optimizationStopped);
        }
    }
    // the first failing parameter in the order xi, rho, v0, vBar, kappa is reported
    double p[5] = {0.0, 0.0, 0.0, 0.0, 0.9};
    EXPECT_THROW(
        {
            try {
                checkParameterRanges(p, 1);
            } catch (const std::exception& e) {
                EXPECT_STREQ(e.what(), "xi is out of range. Stopping optimization.");
                throw;
            }
        },
        std::exception);

    // through the objective: the exception leaves it and hx keeps its values
    ObjectiveFiles files;
    files.writeChain(eightExpiryChain());
    double bad[5] = {0.04, 0.04, 2.0, 1.0, 0.5};
    CalibrationSettings settings = garchSpeedSettings();
    std::vector<double> hx(41, 0.123);
    optimizationStopped = false;
    EXPECT_THROW(CalibrationObjective(bad, hx.data(), 5, 41, &settings), std::runtime_error);
    EXPECT_TRUE(optimizationStopped);
    EXPECT_TRUE(std::all_of(hx.begin(), hx.end(), [](double x) { return x == 0.123; }));
    optimizationStopped = false;
}

TEST(CalibrationObjective, BucketGridsAtTheBandEdgesAndTimeStepsByExpiry)
{
    const double S = 100.0;
    struct Case {
        double m;  // smallest price
        double T;
        int NS, Nv, NT;
    };
    const Case cases[] = {
        {0.005 * S, 1.0, 60, 30, 30},       // top edge of the first band is excluded
        {0.0049 * S, 1.0, 120, 70, 30},
        {0.00075 * S, 1.0, 160, 80, 30},    // the second band's top edge is its own
        {0.0002 * S, 1.0, 200, 80, 30},
        {0.0001 * S, 1.0, 200, 80, 30},
        {0.000035 * S, 1.0, 300, 100, 30},
        {1e-9, 1.0, 300, 100, 30},
        {1.0, 0.5, 60, 30, 30},              // short expiries keep the base steps
        {1.0, 2.5, 60, 30, 75},              // 2.5 years: 30 x 2.5
        {1.0, 1.99, 60, 30, 59},             // truncated
    };
    for (const Case& c : cases) {
        const BucketGrid g = bucketGrid(c.m, S, c.T, 60, 30, 30);
        EXPECT_EQ(g.NS, c.NS) << c.m << " " << c.T;
        EXPECT_EQ(g.Nv, c.Nv) << c.m << " " << c.T;
        EXPECT_EQ(g.NT, c.NT) << c.m << " " << c.T;
        const double expected = (c.NS / 60.0) * (c.Nv / 60.0) * (1 + 0.015 * c.NT) / (1 + 0.015 * 30);
        EXPECT_DOUBLE_EQ(g.cost, expected);
    }
    // larger base sizes are kept inside a band
    EXPECT_EQ(bucketGrid(0.0049 * S, S, 1.0, 200, 100, 30).NS, 200);
}

TEST(CalibrationObjective, VarianceGridBoundsOfTheSolves)
{
    CriticalVariances cv;
    cv.expiries = {0.25, 1.0};
    cv.vcrits = {0.1, 0.3};
    cv.meanVariances = {0.05, 0.06};
    cv.stationaryVcrit = 0.5;
    ExpiryBucket b;
    b.T = 0.25;
    b.vmaxLevel = 0.9999975;
    struct Case {
        int code;
        double T, multiplier, vmax;
    };
    const Case cases[] = {
        {1, 0.25, 2.0, -0.2},   // the expiry's critical variance, scaled
        {1, 1.0, 2.0, -0.5},    // capped at the stationary one
        {1, 0.25, 0.1, -0.05},  // floored at 0.1 of it for codes 1 and 2
        {4, 0.25, 0.1, -0.025}, // and 0.05 above
    };
    for (const Case& c : cases) {
        b.T = c.T;
        b.vmaxMultiplier = c.multiplier;
        double mean = -1.0;
        EXPECT_DOUBLE_EQ(bucketVmaxParam(b, cv, c.code, 0.9999975, &mean), c.vmax);
        EXPECT_EQ(mean, c.T == 0.25 ? 0.05 : 0.06);
    }
    b.T = 0.5;
    double mean = 0.0;
    EXPECT_THROW(bucketVmaxParam(b, cv, 1, 0.9999975, &mean), std::runtime_error);

    // inverse-gamma vol with the second quantile choice: no critical variances, the bound 3.0
    CalibrationSettings s = garchSpeedSettings();
    s.modelCode = 5;
    s.quantileSelector = 2;
    const ObjectiveSetup setup = objectiveSetup(s);
    EXPECT_EQ(setup.vmaxQuantileLevel, 3.0);
    std::vector<ExpiryBucket> buckets(1);
    buckets[0].T = 0.5;
    buckets[0].S = 100.0;
    buckets[0].smallestPrice = 1e-6;
    sizeExpiryBuckets(buckets, s, setup, 2.0);
    const double p[5] = {0.2, 0.2, 2.0, 1.0, -0.5};
    const CriticalVariances off = vcritPerExpiryLoop({0.5}, p, 5, setup.vmaxQuantileLevel);
    EXPECT_EQ(bucketVmaxParam(buckets[0], off, 5, setup.vmaxQuantileLevel, &mean), 3.0);
    EXPECT_EQ(mean, 0.0);
}

TEST(CalibrationObjective, EveryFailureFillsHxWithNaNAndLeavesItsRecord)
{
    const std::string stars(85, '*');
    struct Case {
        const char* name;
        std::string chain;  // empty: no file
        int modelCode;
        int n;
        std::string record;  // expected log text
        std::string screen;  // expected standard output
    };
    const std::string good = eightExpiryChain();
    const Case cases[] = {
        {"missing file", "", 1, 41, stars + "\ninvalid stod argument\n" + stars + "\n\n", ""},
        {"spot line not a number", "a\nb\nc\nd\ne\nx\nheads\n", 1, 41,
         stars + "\ninvalid stod argument\n" + stars + "\n\n", ""},
        {"zero spot", chain_files::headerChainText(0.0, {{0.2, 100, 30, 0, 0}}), 1, 1,
         stars + "\nThe spot price in the option chain is not a positive number\n" + stars +
             "\n\n",
         ""},
        {"unknown model code", good, 7, 41,
         stars + "\nUnknown model code 7 in the calibration settings\n" + stars + "\n\n", ""},
        {"count mismatch", good, 1, 40, "",
         "Oops, seems like some more debugging is in order. Press any key to terminate!"},
        {"Heston path, missing file", "", 3, 41, "", ""},
    };
    for (const Case& c : cases) {
        ObjectiveFiles files;
        if (!c.chain.empty()) files.writeChain(c.chain);
        double p[5] = {0.04, 0.05, 2.0, 1.0, -0.5};
        CalibrationSettings settings = garchSpeedSettings();
        settings.modelCode = c.modelCode;
        ::testing::internal::CaptureStdout();
        const std::vector<double> hx = evaluate(p, c.n, settings);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.screen) << c.name;
        EXPECT_TRUE(allNaN(hx)) << c.name;
        EXPECT_EQ(files.solverLog(), c.record) << c.name;
        EXPECT_EQ(count(files.solverLog(), stars), c.record.empty() ? 0u : 2u) << c.name;
    }
}

}  // namespace
