// The calibration objective: model IVs of a GARCH chain against a Monte Carlo reference, the same
// bits on any number of threads, its range checks, grid bands and variance-grid bounds, and every
// failure path (NaN in hx, the log record).

#include "calibration/calibration_objective.h"
#include "calibration/support/chain_fixtures.h"
#include "levmar/levmar.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// main's settings for GARCH diffusion in speed mode.
CalibrationSettings speedSettings(int modelCode = 1)
{
    CalibrationSettings s;
    s.NS = modelCode == 4 ? 100 : 60;
    s.Nv = modelCode == 4 ? 100 : 30;
    s.NT = 30;
    s.schemeNumber = 2;
    s.priceModeSelector = 2;
    s.stretchSelector = 1;
    s.quantileSelector = 1;
    s.modelCode = modelCode;
    return s;
}

std::vector<double> evaluate(std::vector<double> p, int n, CalibrationSettings settings)
{
    std::vector<double> hx(static_cast<std::size_t>(n), -1.0);
    CalibrationObjective(p.data(), hx.data(), 5, n, &settings);
    return hx;
}

// The Monte Carlo IVs carry one standard error (below 2e-6 here); main's speed grids add their own
// discretisation error, which 3 bp of IV bound.
TEST(CalibrationObjective, GarchChainAtTheTrueParametersGivesTheMonteCarloIVs)
{
    const fixtures::Set set = fixtures::garchSet("G1");
    ASSERT_EQ(set.options.size(), 10u);
    fixtures::Files files;
    files.writeChain(set.chain());
    const std::vector<double> hx = evaluate(set.params(), 10, speedSettings());
    for (std::size_t i = 0; i < hx.size(); ++i) {
        EXPECT_NEAR(hx[i], set.options[i].iv, set.options[i].ivError + 3e-4) << i;
    }
    EXPECT_EQ(files.solverLog(), "");
}

// Eight expiries of five strikes, one option quoted twice at different IVs (both priced), one too
// cheap to keep: 41 model IVs.
std::string eightExpiryChain()
{
    std::vector<fixtures::Row> rows;
    for (double days : {30.0, 60.0, 91.0, 182.0, 273.0, 365.0, 548.0, 730.0}) {
        for (double K : {85.0, 92.5, 100.0, 107.5, 115.0}) {
            rows.push_back({0.2 + 1e-5 * (K - 100.0) * (K - 100.0), K, days, 0.02, 0.01});
        }
    }
    rows.push_back({0.25, 100.0, 182.0, 0.02, 0.01});
    rows.push_back({0.2, 60.0, 30.0, 0.02, 0.01});
    return fixtures::chainText(100.0, rows);
}

TEST(CalibrationObjective, SameBitsOnOneTwoFourAndEightThreads)
{
    fixtures::Files files;
    files.writeChain(eightExpiryChain());
    const int before = omp_get_max_threads();
    for (int code : {1, 4}) {
        std::vector<std::vector<double>> runs;
        for (int threads : {1, 2, 4, 8}) {
            omp_set_num_threads(threads);
            runs.push_back(evaluate({0.04, 0.05, 2.0, 1.0, -0.5}, 41, speedSettings(code)));
        }
        omp_set_num_threads(before);
        for (double iv : runs[0]) EXPECT_TRUE(iv > 0.05 && iv < 0.6) << code << " " << iv;
        EXPECT_EQ(runs[0][17], runs[0][18]) << code;  // the two quotes of (182 days, 100)
        for (std::size_t t = 1; t < runs.size(); ++t) {
            EXPECT_EQ(std::memcmp(runs[0].data(), runs[t].data(), 41 * sizeof(double)), 0) << code;
        }
    }
    EXPECT_EQ(files.solverLog(), "");
}

TEST(CalibrationObjective, RangesAreInclusiveAndNaNFails)
{
    struct Case {
        int code, index;
        double value;
        const char* failure;  // null: passes
    };
    const Case cases[] = {
        {1, 3, 0.1, nullptr},   {1, 3, 30.0, nullptr},   {1, 3, 0.0999, "xi"},  {1, 4, 0.3, nullptr},
        {1, 4, -1.0, nullptr},  {1, 4, 0.31, "rho"},     {1, 2, 0.005, nullptr}, {4, 2, 0.005, "kappa"},
        {1, 0, 0.0007, "v0"},   {4, 0, 0.0007, nullptr}, {1, 1, 1.3, "vBar"},    {6, 1, 2.5, nullptr},
        {1, 2, 100.5, "kappa"}, {1, 0, kNaN, "v0"},      {1, 1, kNaN, "vBar"},   {1, 2, kNaN, "kappa"},
        {1, 3, kNaN, "xi"},     {1, 4, kNaN, "rho"},
    };
    for (const Case& c : cases) {
        std::vector<double> p = {0.04, 0.04, 2.0, 1.0, -0.5};
        p[static_cast<std::size_t>(c.index)] = c.value;
        optimizationStopped = false;
        std::string what;
        try {
            checkParameterRanges(p.data(), c.code);
        } catch (const std::runtime_error& e) {
            what = e.what();
        }
        EXPECT_EQ(what, c.failure ? std::string(c.failure) + " is out of range. Stopping optimization." : "")
            << c.code << " " << c.index;
        EXPECT_EQ(optimizationStopped.load(), c.failure != nullptr);
    }
    // through the objective the exception leaves it, hx keeps its values
    fixtures::Files files;
    files.writeChain(eightExpiryChain());
    std::vector<double> p = {0.04, 0.04, 2.0, 0.0, 0.5};  // xi and rho out: xi is named
    std::vector<double> hx(41, 0.123);
    CalibrationSettings settings = speedSettings();
    EXPECT_THROW(CalibrationObjective(p.data(), hx.data(), 5, 41, &settings), std::runtime_error);
    EXPECT_EQ(hx, std::vector<double>(41, 0.123));
    optimizationStopped = false;
}

TEST(CalibrationObjective, GridBandsAtTheirEdgesAndVarianceGridBoundsWithoutCriticalVariances)
{
    struct Band {
        double m, T;
        int NS, Nv, NT;
    };
    const Band bands[] = {
        {0.005 * 100, 1.0, 60, 30, 30},      {0.0049 * 100, 1.0, 120, 70, 30}, {0.00075 * 100, 1.0, 160, 80, 30},
        {0.000035 * 100, 1.0, 300, 100, 30}, {0.5, 2.5, 60, 30, 75},           {0.5, 1.99, 60, 30, 59},
    };  // smallest price at spot 100: 0.005 S keeps the base grid, 0.00075 S takes 160 / 80
    for (const Band& b : bands) {
        const BucketGrid g = bucketGrid(b.m, 100.0, b.T, 60, 30, 30);
        EXPECT_EQ(g.NS, b.NS) << b.m;
        EXPECT_EQ(g.Nv, b.Nv) << b.m;
        EXPECT_EQ(g.NT, b.NT) << b.T;
        EXPECT_DOUBLE_EQ(g.cost, (b.NS / 60.0) * (b.Nv / 60.0) * (1 + 0.015 * b.NT) / 1.45);
    }

    // an expiry without a critical variance is an error, not a stray read
    CriticalVariances cv;
    cv.expiries = {0.25, 1.0};
    cv.vcrits = cv.meanVariances = {0.1, 0.3};
    ExpiryBucket bucket;
    bucket.T = 0.5;
    double mean = 0.0;
    EXPECT_THROW(bucketVmaxParam(bucket, cv, 1, 0.9999975, &mean), std::runtime_error);

    // inverse-gamma vol with the second quantile choice: no critical variances, the bound 3.0
    CalibrationSettings s = speedSettings(5);
    s.quantileSelector = 2;
    const ObjectiveSetup setup = objectiveSetup(s);
    std::vector<ExpiryBucket> buckets(1);
    buckets[0].T = 0.5;
    buckets[0].S = 100.0;
    buckets[0].smallestPrice = 1e-6;
    sizeExpiryBuckets(buckets, s, setup, 2.0);
    const double p[5] = {0.2, 0.2, 2.0, 1.0, -0.5};
    const CriticalVariances off = vcritPerExpiryLoop({0.5}, p, 5, setup.vmaxQuantileLevel);
    EXPECT_EQ(bucketVmaxParam(buckets[0], off, 5, setup.vmaxQuantileLevel, &mean), 3.0);
}

TEST(CalibrationObjective, EveryFailureFillsHxWithNaNAndLeavesItsRecord)
{
    const std::string stars(85, '*');
    auto record = [&stars](const std::string& message) { return stars + "\n" + message + "\n" + stars + "\n\n"; };
    struct Case {
        std::string chain;  // empty: no file
        int modelCode, n;
        std::string record, screen;
    };
    const std::string good = eightExpiryChain();
    const Case cases[] = {
        {"", 1, 41, record("invalid stod argument"), ""},
        {"a\nb\nc\nd\ne\nx\nheads\n", 1, 41, record("invalid stod argument"), ""},
        {fixtures::chainText(0.0, {{0.2, 100, 30, 0, 0}}), 1, 1,
         record("The spot price in the option chain is not a positive number"), ""},
        {good, 7, 41, record("Unknown model code 7 in the calibration settings"), ""},
        {good, -1, 41, record("The grid sizes of the calibration settings must be positive"), ""},
        {good, 1, 40, "", "Oops, seems like some more debugging is in order. Press any key to terminate!"},
        {"", 3, 41, "", ""},  // the Heston path
    };
    for (const Case& c : cases) {
        fixtures::Files files;
        if (!c.chain.empty()) files.writeChain(c.chain);
        ::testing::internal::CaptureStdout();
        CalibrationSettings settings = speedSettings(c.modelCode < 0 ? 1 : c.modelCode);
        if (c.modelCode < 0) settings.NS = 0;  // a base grid of no spot intervals
        const std::vector<double> hx = evaluate({0.04, 0.05, 2.0, 1.0, -0.5}, c.n, settings);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.screen) << c.record;
        for (double iv : hx) EXPECT_TRUE(std::isnan(iv)) << c.record;
        EXPECT_EQ(files.solverLog(), c.record);
    }
}

}  // namespace

namespace {

std::string exampleChainText()
{
    return fixtures::readText(std::string(SARNEX_TEST_DATA_DIR) + "/../../examples/OptionsData.txt");
}

// Where ORV-X1's first damped steps go on the bundled chain: v0 on its lower bound with a large
// xi. Some wing strikes have no model IV there; they enter with IV 0.0 (their residual is the
// whole market IV) and every other strike keeps its IV, so the search can go on.
TEST(CalibrationObjective, StrikesWithoutAModelIVOnTheLowerBoundsEnterAsZero)
{
    fixtures::Files files;
    files.writeChain(exampleChainText());
    const int n = 91;  // 95 rows, 4 too cheap
    const std::vector<double> hx =
        evaluate({0.001, 0.2030001547533864, 8.233037068986162, 4.600491827862601,
                  -0.3995737887065096}, n, speedSettings(4));
    int zeros = 0;
    for (std::size_t i = 0; i < hx.size(); ++i) {
        EXPECT_TRUE(std::isfinite(hx[i])) << i;
        if (hx[i] == 0.0) ++zeros; else EXPECT_GT(hx[i], 0.01) << i;
    }
    EXPECT_GT(zeros, 0);
    EXPECT_LT(zeros, n);

    // The chain file gone: the whole evaluation fails, and the search stops on its first one.
    files.removeChain();
    std::vector<double> x(static_cast<std::size_t>(n), 0.2);
    double p[5] = {0.15, 0.15, 5.0, 5.0, -0.7};
    double lb[5] = {0.001, 0.005, 0.05, 0.1, -1.0};
    double ub[5] = {1.2, 1.2, 60.0, 20.0, 0.0};
    double opts[5] = {1e-3, 1e-10, 1e-10, 1e-10, 1e-6};
    double info[10] = {};
    CalibrationSettings settings = speedSettings(4);
    dlevmar_bc_dif(CalibrationObjective, p, x.data(), 5, n, lb, ub, nullptr, 10, opts, info,
                   nullptr, nullptr, &settings);
    EXPECT_EQ(info[6], 7.0);
}

}  // namespace
