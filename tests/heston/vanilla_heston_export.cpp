// The exported Heston price: reference prices, its call/put convention, and every failure
// answered with -999.0 and one log record.

#include "heston/vanilla_heston_export.h"

#include "calibration/support/chain_fixtures.h"
#include "numerics/black_scholes.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <string>

namespace {

// Reference prices from an independent single-integral formula evaluated at 30 digits; the
// integration's relative accuracy of 1e-13 leaves a few 1e-12 at these sizes.
TEST(VanillaHeston, ReferencePricesWithAnyNonZeroFlagAsAPut)
{
    struct Case {
        double S, K, T, r, d, v0, vL, kappa, volvol, rho, call, put;
    };
    const Case cases[] = {
        {100, 100, 1.0, 0.03, 0.00, 0.04, 0.04, 2.0, 0.5, -0.7, 8.92941045360215, 5.97396380845296},
        {100, 90, 0.5, 0.05, 0.02, 0.0225, 0.04, 1.5, 0.3, -0.5, 12.3443355466551, 1.1172442542882},
        {100, 120, 2.0, 0.01, 0.01, 0.09, 0.06, 0.8, 0.9, -0.9, 1.20370686466213, 20.8076803307972},
    };
    fixtures::Files log;
    for (const Case& c : cases) {
        EXPECT_NEAR(VanillaHeston(c.S, c.K, c.r, c.d, c.v0, c.vL, c.kappa, c.volvol, c.rho, c.T, 0), c.call, 1e-9);
        for (int flag : {1, -1, 7}) {
            EXPECT_NEAR(VanillaHeston(c.S, c.K, c.r, c.d, c.v0, c.vL, c.kappa, c.volvol, c.rho, c.T, flag), c.put,
                        1e-9);
        }
    }
    // no volatility of variance and v0 = vL: Black-Scholes at vol sqrt(v0)
    EXPECT_NEAR(VanillaHeston(100, 100, 0.03, 0.0, 0.04, 0.04, 2.0, 0.0, -0.7, 1.0, 0),
                blackScholesPrice(100, 100, 0.03, 0.0, 0.2, 1.0, 0), 1e-6);
    EXPECT_EQ(log.hestonLog(), "");
}

TEST(VanillaHeston, FailuresAnswerMinusNineNineNineWithOneRecordEach)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::string badInputs = "VanillaHeston: S, K and T must be positive numbers";
    struct Case {
        double S, K, T, kappa, volvol;
        std::string message;
    };
    const Case cases[] = {
        {-100, 100, 1, 2, 0.5, badInputs},
        {100, 0, 1, 2, 0.5, badInputs},
        {100, 100, 0, 2, 0.5, badInputs},
        {100, 100, nan, 2, 0.5, badInputs},
        {100, inf, 1, 2, 0.5, badInputs},
        {100, 100, 1, nan, 0.5, "An error occured while calculating the Heston analytic price: "},
        // a volvol just above the small-volvol branch exhausts the integration budget
        {100, 100, 1, 2, 3e-5, "An error occured while calculating the Heston analytic price: "},
    };
    const std::string stars(85, '*');
    for (const Case& c : cases) {
        fixtures::Files log;
        EXPECT_EQ(VanillaHeston(c.S, c.K, 0.03, 0.01, 0.04, 0.05, c.kappa, c.volvol, -0.7, c.T, 3), -999.0)
            << c.message;
        const std::string text = log.hestonLog();
        EXPECT_EQ(text.rfind(stars + "\n" + c.message, 0), 0u) << text;
        std::ostringstream tail;
        tail.precision(16);
        tail << "\nr:\t\t0.03\nd:\t\t0.01\nv0:\t\t0.04\nvL:\t\t0.05\ntheta:\t\t" << c.kappa << "\nvolvol:\t\t"
             << c.volvol << "\nrho:\t\t-0.7\nCall/Put: \t3\n\n";
        EXPECT_EQ(text.substr(text.size() - tail.str().size()), tail.str());
    }
}

}  // namespace
