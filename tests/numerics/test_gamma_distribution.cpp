#include "numerics/gamma_distribution.h"
#include "numerics/numerical_error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <exception>
#include <string>

namespace {

const double kNaN = std::nan("");
const double kInf = std::numeric_limits<double>::infinity();

TEST(Gammadist, PublishedChiSquareQuantiles)
{
    // Chi-square table values (to 17 digits). Chi-square with k degrees of freedom is the gamma law with shape k/2 and rate 1/2.
    struct Case {
        double k;
        double p;
        double quantile;
    };
    const Case cases[] = {
        {1.0, 0.95, 3.841458820694124},   {10.0, 0.95, 18.307038053275146},
        {1.0, 0.99, 6.6348966010212136},  {10.0, 0.99, 23.209251158954357},
        {10.0, 0.05, 3.9402991361190601}, {4.0, 0.5, 3.3566939800333213},
        {30.0, 0.975, 46.979242243671153}, {100.0, 0.95, 124.34211340400407},
        {1.0, 0.5, 0.45493642311957275},    {3.0, 0.01, 0.11483180189911704},
    };
    for (const Case& c : cases) {
        Gammadist law(c.k / 2.0, 0.5);
        EXPECT_NEAR(law.quantile(c.p), c.quantile, 1e-9 * c.quantile) << "k=" << c.k << " p=" << c.p;
    }
    // Two degrees of freedom: the exponential law with mean 2, x = -2 ln(1 - p).
    Gammadist two(1.0, 0.5);
    EXPECT_NEAR(two.quantile(0.95), -2.0 * std::log(0.05), 1e-12);
}

TEST(Gammadist, RateScalesTheQuantileAndNormIsStored)
{
    Gammadist unit(3.5, 1.0);
    Gammadist fast(3.5, 4.0);
    EXPECT_NEAR(fast.quantile(0.8), unit.quantile(0.8) / 4.0, 1e-14);
    EXPECT_EQ(fast.alph, 3.5);
    EXPECT_EQ(fast.bet, 4.0);
    EXPECT_NEAR(fast.logNorm, 3.5 * std::log(4.0) - std::lgamma(3.5), 1e-14);
    EXPECT_EQ(fast.quantile(0.0), 0.0);
}

TEST(Gammadist, BadParametersAreOrdinaryExceptions)
{
    // The callers' std::exception handlers must see this failure (a bare C string would pass them by).
    for (const auto& ab : {std::pair<double, double>{2.0, 0.0}, {0.0, 1.0}, {-1.0, 1.0}, {2.0, -3.0}, {kNaN, 1.0}, {1.0, kNaN}}) {
        std::string what = "no exception";
        try {
            Gammadist law(ab.first, ab.second);
        } catch (const std::exception& e) {
            what = e.what();
            EXPECT_NE(dynamic_cast<const NumericalError*>(&e), nullptr);
        }
        EXPECT_EQ(what, "bad alph,bet in Gammadist") << ab.first << "," << ab.second;
    }
}

TEST(Gammadist, ProbabilitiesOutsideTheUnitIntervalAreRejected)
{
    Gammadist law(2.0, 1.0);
    for (double p : {1.0, 1.5, -0.1, kNaN}) {
        std::string what = "no exception";
        try {
            law.quantile(p);
        } catch (const NumericalError& e) {
            what = e.what();
        }
        EXPECT_EQ(what, "bad p in Gammadist") << p;
    }
}

}  // namespace
