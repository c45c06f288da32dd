// computeVcrit: quantiles of the variance at the horizon, the limits they must reach, and the
// fallback to the stationary quantile on every path where the density gives no answer.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

#include "density/pdesolver1d.h"
#include "density/spline_quantile.h"
#include "numerics/normal_distribution.h"
#include "numerics/numerical_error.h"

namespace {

PDESolver1D garch(double q, double T, double v0 = 0.04, double vL = 0.06, double theta = 1.5, double xi = 1.0,
                  int NX = 800, int NT = 50) {
    return PDESolver1D(q, T, v0, vL, theta, xi, NX, NT, 2, 5, 0, 1.0, false, 1);
}

// Standard normal quantile by bisection on erfc.
double normalQuantile(double p) {
    double lo = -12.0, hi = 12.0;
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

const double levels[] = {0.5, 0.9, 0.99, 0.999, 0.9999, 0.99999, 0.9999975, 0.999999};

TEST(CriticalVariance, NonDecreasingInTheLevelAndBelowTheStationaryBound) {
    double previous = 0.0;
    for (double q : levels) {
        PDESolver1D solver = garch(q, 1.0);
        const double vcrit = solver.computeVcrit();
        EXPECT_GE(vcrit, previous) << "q " << q;
        EXPECT_NE(vcrit, solver.stationaryVcrit()) << "q " << q << " fell back";
        // v0 lies below vL here, so the variance at T is still short of its stationary spread.
        EXPECT_LT(vcrit, solver.stationaryVcrit());
        previous = vcrit;
    }
}

TEST(CriticalVariance, LongExpiriesApproachTheStationaryQuantile) {
    for (double q : levels) {
        PDESolver1D solver = garch(q, 10.0);
        const double vcrit = solver.computeVcrit();
        EXPECT_NE(vcrit, solver.stationaryVcrit()) << "q " << q << " fell back";
        EXPECT_NEAR(vcrit / solver.stationaryVcrit(), 1.0, 1e-4) << "q " << q;
    }
}

TEST(CriticalVariance, ShortExpiriesFollowTheLognormalLimit) {
    // Over 0.02 years log v is nearly normal with variance xi^2 T and drift -xi^2/2 (v0 = vL). The
    // grid's top lies near log v = -2.5 here, far below the secant's usual second point 2.0.
    const double T = 0.02, v0 = 0.04, xi = 1.0;
    for (double q : {0.5, 0.99, 0.9999, 0.9999975, 0.9999995}) {
        PDESolver1D solver = garch(q, T, v0, v0, 0.5, xi);
        const double vcrit = solver.computeVcrit();
        const double lognormal = v0 * std::exp(-0.5 * xi * xi * T + xi * std::sqrt(T) * normalQuantile(q));
        EXPECT_NEAR(vcrit / lognormal, 1.0, 5e-3) << "q " << q;
    }
}

TEST(CriticalVariance, ZeroHorizonIsTheStationaryQuantileWithoutAGrid) {
    PDESolver1D full = garch(0.9999975, 0.0);
    EXPECT_EQ(full.computeVcrit(), full.stationaryVcrit());
    EXPECT_FALSE(full.gridBuilt);
    EXPECT_EQ(full.grid.size(), 0u);
    EXPECT_EQ(full.meanV, full.vL);
    EXPECT_EQ(full.vMean, 0.0);

    PDESolver1D stationary(0.9999975, 0.04, 0.06, 1.5, 1.0);
    EXPECT_EQ(stationary.computeVcrit(), full.stationaryVcrit());
    EXPECT_EQ(stationary.meanVariance(), 0.06);
}

TEST(CriticalVariance, InputsWithoutAGridFallBackToTheStationaryQuantile) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double T, v0, xi;
        int NT;
    };
    const Case cases[] = {
        {1.0, 0.04, 0.0, 50},   // no diffusion: the grid has no width
        {1.0, 1e-7, 1.0, 50},   // v0 below the lowest log-variance
        {-1.0, 0.04, 1.0, 50},  // negative horizon
        {nan, 0.04, 1.0, 50},   // horizon not a number
        {1.0, 0.04, 1.0, 0},    // no time steps
    };
    for (const auto& c : cases) {
        PDESolver1D solver(0.999, c.T, c.v0, 0.04, 2.0, c.xi, 800, c.NT, 2, 5, 2, 1.0, false, 1);
        double vcrit = -1.0;
        EXPECT_NO_THROW(vcrit = solver.computeVcrit()) << "T " << c.T << " v0 " << c.v0 << " xi " << c.xi;
        EXPECT_EQ(vcrit, solver.stationaryVcrit());
        EXPECT_EQ(solver.meanVariance(), solver.vL);  // model 2 with no solve reports the default
        EXPECT_EQ(solver.vMean, 0.0);
    }
}

TEST(CriticalVariance, ExhaustedRefinementsFallBack) {
    struct Case {
        const char* what;
        PDESolver1D solver;
        bool finerGrid;  // the retries refine the grid (else the time steps)
    };
    Case cases[] = {
        // Strong reversion with almost no diffusion: central differences oscillate on every grid up
        // to the finest allowed.
        {"drift unresolved in space", garch(0.5, 0.1, 0.04, 0.001, 100.0, 0.05), true},
        // A point mass carried off so fast that the time stepping rings below zero even with the
        // smallest time step allowed.
        {"ringing in time", garch(0.9999975, 0.517, 0.002624, 0.4307, 29.5, 0.2898), false},
        // Strong downward drift at the top of a wide vol-form grid keeps the density rising there
        // however small the time step.
        {"rising at the top", PDESolver1D(0.99, 12.0, 0.04, 0.06, 3.0, 0.5, 800, 400, 2, 5, 2, 1.0, false, 1),
         false},
    };
    for (auto& c : cases) {
        const int NT = c.solver.NT;
        EXPECT_EQ(c.solver.computeVcrit(), c.solver.stationaryVcrit()) << c.what;
        if (c.finerGrid) {
            EXPECT_GT(c.solver.steps, 12800) << c.what;
            EXPECT_EQ(c.solver.NT, NT) << c.what;
        } else {
            EXPECT_GT(c.solver.NT, 1000) << c.what;
            EXPECT_LT(c.solver.steps, 12800) << c.what;
        }
        EXPECT_TRUE(std::isfinite(c.solver.vMean)) << c.what;
    }
}

TEST(CriticalVariance, NonFiniteDensityFallsBackWithoutPoisoningTheMean) {
    // A power of 3 with a huge volatility of variance overflows the diffusion coefficient.
    PDESolver1D solver(0.99, 1.0, 0.04, 0.04, 2.0, 50.0, 800, 50, 2, 5, 1, 3.0, false, 1);
    double vcrit = -1.0;
    EXPECT_NO_THROW(vcrit = solver.computeVcrit());
    EXPECT_EQ(vcrit, solver.stationaryVcrit());
    EXPECT_TRUE(std::isfinite(solver.vMean));
    Array<Array<double>> out(5);
    try {
        solver.solveFokkerPlanck(out);
        ADD_FAILURE() << "a non-finite density was handed out";
    } catch (const NumericalError& err) {
        EXPECT_STREQ(err.what(), "The variance density is not finite");
    }
}

TEST(CriticalVariance, OversizedSplineTableFallsBack) {
    // NX 122000 puts 61001 nodes on the coarse grid, too many for the spline's tridiagonal solve.
    PDESolver1D solver = garch(0.99, 1.0, 0.04, 0.04, 2.0, 1.0, 122000);
    double vcrit = -1.0;
    EXPECT_NO_THROW(vcrit = solver.computeVcrit());
    EXPECT_EQ(vcrit, solver.stationaryVcrit());
}

TEST(SplineQuantile, OutsideTheTableThereIsNoValue) {
    // Density 2x on [0, 1]: distribution function x^2, which the cubic spline reproduces.
    Array<double> x(11), f(11);
    for (int i = 0; i <= 10; ++i) {
        x[i] = i / 10.0;
        f[i] = 2.0 * x[i];
    }
    SplineQuantile cdf(x, f);
    EXPECT_NEAR(cdf.norm(), 1.0, 1e-14);
    for (double y : {0.05, 0.37, 0.5, 0.93, 1.0}) {
        const std::optional<double> F = cdf.excess(0.25, y);
        ASSERT_TRUE(F.has_value()) << y;
        EXPECT_NEAR(*F, 0.25 - y * y, 1e-14) << y;
    }
    EXPECT_FALSE(cdf.excess(0.25, 1.0 + 1e-12).has_value());
    EXPECT_FALSE(cdf.excess(0.25, -0.1).has_value());
    EXPECT_FALSE(cdf.excess(0.25, 2.0).has_value());
    EXPECT_FALSE(cdf.excess(0.25, std::numeric_limits<double>::quiet_NaN()).has_value());
}

TEST(SplineQuantile, FarTailQuantilesOfATruncatedNormal) {
    // Standard normal density on [-a, a], 1601 nodes: the quantile of the truncated law solves
    // N(z) = N(-a) + level (N(a) - N(-a)). A level close to 1 puts the quantile a few nodes below
    // the top, where a secant through the flat tail and the bulk only bounced between the two.
    for (double a : {5.0, 6.0}) {
        const int n = 1601;
        Array<double> x(n), f(n);
        for (int i = 0; i < n; ++i) {
            x[i] = -a + 2.0 * a * i / (n - 1);
            f[i] = std::exp(-0.5 * x[i] * x[i]) / std::sqrt(2.0 * 3.14159265358979323846);
        }
        SplineQuantile cdf(x, f);
        for (double level : {0.5, 0.9, 0.99, 0.9999975, 0.9999999, 0.99999999}) {
            const double exact = normalQuantile(normalCdf(-a) + level * (normalCdf(a) - normalCdf(-a)));
            const std::optional<double> z = cdf.quantile(level);
            ASSERT_TRUE(z.has_value()) << "a " << a << " level " << level;
            // The spline's distribution function is accurate to about 1e-12 here; divided by the
            // density at the quantile that is far below 1e-6 in z.
            EXPECT_NEAR(*z, exact, 1e-6) << "a " << a << " level " << level;
        }
        EXPECT_EQ(cdf.quantile(0.0), x[0]);
    }
}

}  // namespace
