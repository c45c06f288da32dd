// The stationary critical variance against the inverse-gamma law of the GARCH variance: 1/v is
// Gamma(alpha = 1 + 2 theta / xi^2, rate beta = 2 theta vL / xi^2).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "density/pdesolver1d.h"
#include "numerics/numerical_error.h"

namespace {

// P(a, z) for a whole shape a: e^{-z} times the tail of the exponential series from z^a / a!.
double erlangCdf(int a, double z) {
    double term = std::exp(-z);
    for (int k = 1; k <= a; ++k) term *= z / k;
    double sum = 0.0;
    for (int k = a; k < a + 2000 && term > 1e-300; ++k) {
        sum += term;
        term *= z / (k + 1);
        if (term < sum * 1e-18) break;
    }
    return sum;
}

// q-quantile of v when 1/v is Gamma(a, beta), a whole: bisection in log z on P(a, z) = 1 - q.
double erlangStationaryQuantile(int a, double beta, double q) {
    const double p = 1.0 - q;
    double lo = std::log(1e-12), hi = std::log(1e4);
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        (erlangCdf(a, std::exp(mid)) < p ? lo : hi) = mid;
    }
    return beta / std::exp(0.5 * (lo + hi));
}

struct StationaryCase {
    double q, vL, theta, xi;
    int alpha;  // 1 + 2 theta / xi^2, chosen whole
};

TEST(StationaryVcrit, MatchesErlangQuantilesOfTheInverseVariance) {
    const StationaryCase cases[] = {
        {0.5, 0.04, 0.5, 1.0, 2},       {0.99, 0.04, 0.5, 1.0, 2},     {0.9999995, 0.04, 1.0, 1.0, 3},
        {0.999999, 0.09, 1.0, 1.0, 3},  {0.5, 0.04, 2.0, 1.0, 5},      {0.9999975, 0.04, 2.0, 1.0, 5},
        {0.99, 0.04, 1.5, 0.5, 13},     {0.99999999, 0.02, 1.5, 0.5, 13}, {0.1, 0.06, 6.0, 1.0, 13},
    };
    for (const auto& c : cases) {
        PDESolver1D solver(c.q, 0.04, c.vL, c.theta, c.xi);
        const double beta = 2.0 * c.theta * c.vL / (c.xi * c.xi);
        const double expected = erlangStationaryQuantile(c.alpha, beta, c.q);
        EXPECT_NEAR(solver.stationaryVcrit() / expected, 1.0, 1e-8)
            << "q " << c.q << " alpha " << c.alpha << " expected " << expected;
    }
}

TEST(StationaryVcrit, MatchesHighPrecisionQuantiles) {
    // Independent extended-precision values, non-whole shape included (alpha 2.5).
    struct Ref {
        double q, vL, theta, xi, vcrit;
    };
    const Ref refs[] = {
        {0.5, 0.04, 2.0, 1.0, 0.03425457529},       {0.99, 0.04, 1.5, 0.5, 0.07870047853},
        {0.9999995, 0.04, 2.0, 1.0, 1.091176297},   {0.9999975, 0.04, 1.0, 1.0, 3.223791399},
        {0.999999, 0.05, 3.0, 2.0, 11.63136915},
    };
    for (const auto& r : refs) {
        PDESolver1D solver(r.q, 0.04, r.vL, r.theta, r.xi);
        EXPECT_NEAR(solver.stationaryVcrit() / r.vcrit, 1.0, 1e-8) << "q " << r.q;
    }
}

TEST(StationaryVcrit, DegenerateParametersGiveZero) {
    EXPECT_EQ(PDESolver1D(0.99, 0.04, 0.04, 2.0, 0.0).stationaryVcrit(), 0.0);
    EXPECT_EQ(PDESolver1D(0.99, 0.04, 0.04, 0.0, 1.0).stationaryVcrit(), 0.0);
    EXPECT_EQ(PDESolver1D(0.99, 0.04, -0.04, 2.0, 1.0).stationaryVcrit(), 0.0);
    EXPECT_EQ(PDESolver1D(0.99, 0.0, 0.04, 2.0, 1.0).stationaryVcrit(), 0.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(PDESolver1D(0.99, 0.04, 0.04, 2.0, nan).stationaryVcrit(), 0.0);
}

TEST(StationaryVcrit, LevelsOutsideTheUnitIntervalAreRejected) {
    for (double q : {0.0, -0.5, 1.5, std::numeric_limits<double>::quiet_NaN()}) {
        PDESolver1D solver(q, 0.04, 0.04, 2.0, 1.0);
        try {
            solver.stationaryVcrit();
            ADD_FAILURE() << "no error for q " << q;
        } catch (const NumericalError& err) {
            EXPECT_STREQ(err.what(), "bad p in Gammadist");
        }
        // computeVcrit reports the same error rather than inventing a quantile.
        EXPECT_THROW(solver.computeVcrit(), NumericalError);
    }
}

TEST(StationaryVcrit, LevelOneGivesTheHighestFiniteBoundNotZero) {
    // The 1-quantile of v is unbounded; a bound of 0 would collapse every variance grid built on it.
    PDESolver1D atOne(1.0, 0.04, 0.04, 2.0, 1.0);
    PDESolver1D atCap(0.99999999, 0.04, 0.04, 2.0, 1.0);
    EXPECT_GT(atOne.stationaryVcrit(), 1.0);
    EXPECT_EQ(atOne.stationaryVcrit(), atCap.stationaryVcrit());
}

TEST(StationaryVcrit, StationaryObjectKeepsItsLevelWhileTheFullSolverCapsIt) {
    PDESolver1D stationary(0.999999999, 0.04, 0.04, 2.0, 1.0);
    PDESolver1D full(0.999999999, 1.0, 0.04, 0.04, 2.0, 1.0, 800, 50, 2, 5, 0, 1.0, false, 1);
    EXPECT_EQ(stationary.q, 0.999999999);
    EXPECT_EQ(full.q, 0.99999999);
    EXPECT_GT(stationary.stationaryVcrit(), full.stationaryVcrit());
}

}  // namespace
