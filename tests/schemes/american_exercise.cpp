// American options (exercise at any time) in every scheme, against the independent Heston
// finite-difference references of tests/data/american_heston.csv: puts without dividends and
// calls with a dividend yield above the rate, out of, at and deep in the money, 0.25 to 2 years.

#include "schemes/support/frame_test_option.h"
#include "schemes/support/scheme_references.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
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

std::vector<AmericanRow> americanRows()
{
    std::ifstream file(std::string(SARNEX_TEST_DATA_DIR) + "/american_heston.csv");
    EXPECT_TRUE(file.good());
    std::vector<AmericanRow> rows;
    std::string line;
    std::getline(file, line);
    while (std::getline(file, line)) {
        const std::vector<std::string> c = scheme_refs::splitCsv(line);
        if (c.size() < 15)
            continue;
        AmericanRow row;
        row.contract.S = std::stod(c[1]);
        row.contract.K = std::stod(c[2]);
        row.contract.T = std::stod(c[3]);
        row.contract.r = std::stod(c[4]);
        row.contract.d = std::stod(c[5]);
        row.contract.callPut = std::stoi(c[6]);
        row.model.v0 = std::stod(c[7]);
        row.model.vL = std::stod(c[8]);
        row.model.kappa = std::stod(c[9]);
        row.model.volvol = std::stod(c[10]);
        row.model.rho = std::stod(c[11]);
        row.european = std::stod(c[12]);
        row.american = std::stod(c[13]);
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
