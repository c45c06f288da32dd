// American options (exercise at any time) in every scheme, against the independent Heston
// finite-difference references of tests/data/american_heston.csv: puts without dividends and
// calls with a dividend yield above the rate, out of, at and deep in the money, 0.25 to 2 years.

#include "schemes/support/frame_test_option.h"
#include "schemes/support/scheme_references.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace frame_test;

namespace {

struct AmericanRow {
    Contract contract;
    Model model;
    double european = 0.0;
    double american = 0.0;
};

// american_heston.csv: S,K,T,r,d,callPut, v0,vL,meanReversion,volvol,rho, european,american,...
std::vector<AmericanRow> americanRows()
{
    std::vector<AmericanRow> rows;
    for (const std::vector<double>& f : scheme_refs::numericRows("american_heston.csv")) {
        AmericanRow row;
        row.contract = {f[0], f[1], f[2], f[3], f[4], static_cast<int>(f[5])};
        row.model = {f[9], f[6], f[7], f[8], f[10]};
        row.european = f[11];
        row.american = f[12];
        rows.push_back(row);
    }
    EXPECT_EQ(rows.size(), 18u);
    return rows;
}

class AmericanEverySchemeTest : public ::testing::TestWithParam<int> {};

}  // namespace

// For every row: at least the intrinsic value and the scheme's own European price, within 0.02 of
// the reference (its own convergence is about 0.005, the grid's error the rest), and at least 90%
// of the early-exercise premium wherever that premium is worth a cent.
TEST_P(AmericanEverySchemeTest, MatchesTheReferencePrices)
{
    const int scheme = GetParam();
    Grid g = gridOf(200, 100, 200, scheme);
    double worst = 0.0;
    for (const AmericanRow& row : americanRows()) {
        const Contract& c = row.contract;
        g.exerciseType = 0;
        const double european = price(row.model, c, g);
        g.exerciseType = 1;
        const double american = price(row.model, c, g);
        const double intrinsic = std::max(c.callPut == 1 ? c.K - c.S : c.S - c.K, 0.0);
        const std::string what = "scheme " + std::to_string(scheme) + " K " +
                                 std::to_string(c.K) + " T " + std::to_string(c.T) +
                                 (c.callPut == 1 ? " put" : " call");
        EXPECT_GE(american, intrinsic) << what;
        EXPECT_GE(american, european - 1e-9) << what;
        EXPECT_NEAR(american, row.american, 0.02) << what;
        const double premium = row.american - row.european;
        if (premium > 0.01) {
            EXPECT_GE(american - row.european, 0.9 * premium) << what;
        }
        worst = std::max(worst, std::fabs(american - row.american));
    }
    std::printf("scheme %d: worst American price error %.4f\n", scheme, worst);
}

// The two multi-level schemes take four to five times as long as the others (20 to 30 s here):
// a suite that must be short can leave them out by the name MultiLevel.
namespace {
std::string schemeName(const ::testing::TestParamInfo<int>& info)
{
    return "scheme" + std::to_string(info.param);
}
}  // namespace
INSTANTIATE_TEST_SUITE_P(Splitting, AmericanEverySchemeTest, ::testing::Range(2, 15), schemeName);
INSTANTIATE_TEST_SUITE_P(MultiLevel, AmericanEverySchemeTest, ::testing::Values(1, 15), schemeName);

// Richardson extrapolation in space (mode 5) and in time (mode 4) combines two prices that both
// sit on the exercise value of a deep in-the-money put; the combination's rounding and its
// extrapolated error must not leave the reported price below that value.
TEST(AmericanPriceModes, ExtrapolatedPricesKeepTheExerciseValue)
{
    Model m;
    Contract c;
    c.K = 120.0;
    c.r = 0.05;
    c.d = 0.0;
    c.callPut = 1;
    for (int mode : {5, 4}) {
        Grid g = gridOf(200, 100, 200, 3);
        g.priceMode = mode;
        g.exerciseType = 1;
        auto o = makeOption(m, c, g);
        const Array<double> results = solve(*o).results;
        EXPECT_GE(results[2], 20.0) << "mode " << mode;
        EXPECT_EQ(results[4], results[2]) << "mode " << mode;
    }
}
