// Quantiles of the variance laws that bound the variance grids: the square-root law against its
// distribution function summed independently (Poisson weights times gamma tails), the stationary
// quadrature against the closed forms and against the density solver long after the start.
#include "density/pdesolver1d.h"
#include "density/square_root_variance.h"
#include "density/stationary_variance_quantile.h"
#include "numerics/gamma_distribution.h"
#include "numerics/numerical_error.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// P(v_T > v): Poisson(ncp / 2) weights times the central tails Q(df / 2 + j, v / (2 scale)).
double squareRootTail(const SquareRootVariance& s, double T, double v)
{
    const double e = std::exp(-s.kappa * T), scale = s.xi * s.xi * (1.0 - e) / (4.0 * s.kappa);
    const double df = 4.0 * s.kappa * s.vL / (s.xi * s.xi), lambda = e * s.v0 / (2.0 * scale);
    const double reach = 40.0 * std::sqrt(lambda) + 60.0;
    double tail = 0.0;
    for (double j = std::max(0.0, std::floor(lambda - reach)); j <= lambda + reach; ++j) {
        IncGamma g;
        const double weight = std::exp(j * std::log(lambda) - lambda - std::lgamma(j + 1.0));
        tail += weight * (1.0 - g.gammp(df / 2.0 + j, v / (2.0 * scale)));
    }
    return tail;
}

}  // namespace

// The tail beyond each quantile is its level's to 0.1% (the search's tolerance and the series'
// error bound of 1e-12 lie far inside that even at 1 - 1e-8), Feller condition held or not.
TEST(SquareRootVarianceLaw, QuantilesLeaveTheirLevelsTailAtEveryHorizon)
{
    const SquareRootVariance laws[] = {{0.04, 0.04, 1.5, 0.3}, {0.0175, 0.0398, 1.5768, 0.5751}, {0.03, 0.06, 1.0, 1.2}};
    for (const SquareRootVariance& s : laws) {
        for (double T : {1.0 / 12.0, 0.5, 2.0, 10.0})
            for (double level : {0.9999, 0.9999975, 0.99999999})
                EXPECT_NEAR(squareRootTail(s, T, s.quantile(T, level)) / (1.0 - level), 1.0, 1e-3)
                    << s.xi << " " << T << " " << level;
        // Long after the start the law is the stationary gamma law.
        EXPECT_NEAR(s.quantile(40.0 / s.kappa, 0.9999975) / s.stationaryQuantile(0.9999975), 1.0, 1e-6) << s.xi;
    }
    // One day with a small xi: a non-centrality of 23000 is beyond the series, and the
    // Wilson-Hilferty form that stands in is off by about 3e-4 of the quantile, far inside a grid step.
    const SquareRootVariance calm{0.04, 0.04, 1.5, 0.05};
    double lo = 0.04, hi = 0.06;
    for (int i = 0; i < 50; ++i)
        (squareRootTail(calm, 1.0 / 365.0, (lo + hi) / 2) > 2.5e-6 ? lo : hi) = (lo + hi) / 2;
    EXPECT_NEAR(calm.quantile(1.0 / 365.0, 0.9999975) / lo, 1.0, 5e-4);

    EXPECT_EQ(SquareRootVariance({0.04, 0.04, 1.5, 0.0}).quantile(1.0, 0.9999), 0.0);
    EXPECT_THROW(calm.stationaryQuantile(1.0), NumericalError);
}

// GARCH diffusion (1/v gamma) and square root (v gamma) have closed forms, met to 1e-5; the power
// law 0.8 and the volatility-scaled drift meet the density solver at kappa T = 20 within its own
// accuracy, about 1%.
TEST(StationaryVarianceLaw, QuantilesMeetTheClosedFormsAndTheDensitySolver)
{
    for (double level : {0.9999, 0.9999995}) {
        for (double xi : {0.3, 1.5}) {
            const double c = 2.0 * 2.0 / (xi * xi);
            Gammadist inverse(1.0 + c, c * 0.05), direct(c * 0.05, c);
            const double garch = StationaryVarianceLaw({0.05, 2.0, xi, 1.0, false}).quantile(level);
            EXPECT_NEAR(garch * inverse.quantile(1.0 - level), 1.0, 1e-5);
            if (xi < 1.0) {
                const double squareRoot = StationaryVarianceLaw({0.05, 2.0, xi, 0.5, false}).quantile(level);
                EXPECT_NEAR(squareRoot / direct.quantile(level), 1.0, 1e-5);
            }
        }
        for (const bool sqrtScaled : {false, true}) {
            const double power = sqrtScaled ? 1.0 : 0.8;
            PDESolver1D solver(level, 2.0, 0.04, 0.05, 10.0, 1.5, 800, 100, 2, 5, sqrtScaled ? 2 : 1, power, false,
                               1);
            const double law = StationaryVarianceLaw({0.05, 10.0, 1.5, power, sqrtScaled}).quantile(level);
            EXPECT_NEAR(law / solver.computeVcrit(), 1.0, 0.015) << power;
        }
    }
    EXPECT_EQ(StationaryVarianceLaw({0.05, 0.0, 1.0, 0.8, false}).quantile(0.9999), 0.0);
}
