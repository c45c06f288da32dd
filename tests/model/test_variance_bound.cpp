#include "model/support/grid_test_option.h"
#if __has_include("model/support/interim_scheme_routines.cpp")
#include "model/support/interim_scheme_routines.cpp"
#endif

#include <boost/math/distributions/gamma.hpp>
#include <boost/math/distributions/non_central_chi_squared.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// p-quantile of the stationary variance of dv = kappa (vL - v) dt + xi v dW: 1/v is gamma
// distributed with shape 1 + 2 kappa / xi^2 and rate 2 kappa vL / xi^2.
double stationaryQuantile(double p, double kappa, double vL, double xi)
{
    const double shape = 1.0 + 2.0 * kappa / (xi * xi);
    const double rate = 2.0 * kappa * vL / (xi * xi);
    boost::math::gamma_distribution<double> reciprocal(shape, 1.0 / rate);
    return 1.0 / boost::math::quantile(reciprocal, 1.0 - p);
}

// 0.9999-quantile of the square-root variance at tau started at v0 (scaled non-central chi-square).
double transitionQuantile(double v0, double vL, double kappa, double xi, double tau)
{
    const double e = std::exp(-kappa * tau);
    const double df = 4.0 * kappa * vL / (xi * xi);
    const double ncp = 4.0 * kappa * e * v0 / (xi * xi * (1.0 - e));
    const double scale = xi * xi * (1.0 - e) / (4.0 * kappa);
    boost::math::non_central_chi_squared_distribution<double> law(df, ncp);
    return boost::math::quantile(law, 0.9999) * scale;
}

TEST(VarianceBound, FixedBoundIsFlooredAtThreeTimesTheLargerVariance)
{
    GridTestOption setup;
    setup.vL = 0.09;
    setup.VmaxParam = -0.5;
    EXPECT_EQ(setup.build()->calcVmax(1.0), 0.5);
    setup.VmaxParam = -0.1;
    EXPECT_DOUBLE_EQ(setup.build()->calcVmax(1.0), 0.27);
}

TEST(VarianceBound, GammaRuleIsTheStationaryQuantile)
{
    struct Case {
        double p, kappa, vL, xi, v0, tau;
    };
    const Case cases[] = {
        {0.999, 3.0, 0.04, 0.8, 0.03, 1.0},   // kappa tau >= 2.75: the whole quantile
        {0.99, 5.0, 0.09, 1.5, 0.05, 2.0},
        {0.9999, 1.2, 0.05, 0.6, 0.04, 5.0},
        {0.999, 2.0, 0.04, 0.8, 0.001, 0.5},  // a fraction (2 - 0.25) / 2.5 of it
    };
    for (const Case& c : cases) {
        GridTestOption setup;
        setup.modelCode = 1.0;
        setup.VmaxParam = c.p;
        setup.theta = c.kappa;
        setup.vL = c.vL;
        setup.volvol = c.xi;
        setup.v0 = c.v0;
        auto o = setup.build();
        const double f = std::min((c.kappa * c.tau - 0.25) / 2.5, 1.0);
        const double expected = std::max(f, 0.02) * stationaryQuantile(c.p, c.kappa, c.vL, c.xi);
        SCOPED_TRACE(testing::Message() << "p " << c.p << " kappa " << c.kappa << " tau " << c.tau);
        EXPECT_NEAR(o->calcVmax(c.tau), expected, 1e-8 * expected);
        EXPECT_EQ(o->gammaQuantileVmax(c.tau), o->calcVmax(c.tau));
    }
}

TEST(VarianceBound, ChiSquareRuleIsTheTransitionQuantile)
{
    struct Case {
        double v0, vL, kappa, xi, tau, param;
    };
    const Case cases[] = {
        {0.04, 0.05, 2.0, 0.3, 1.0, 0.0},
        {0.09, 0.04, 1.0, 0.2, 0.25, 0.3},
        {0.02, 0.06, 4.0, 0.35, 3.0, 0.0},
    };
    for (const Case& c : cases) {
        GridTestOption setup;  // modelCode 0: the 0.9999 quantile whatever VmaxParam below 0.5 says
        setup.v0 = c.v0;
        setup.vL = c.vL;
        setup.theta = c.kappa;
        setup.volvol = c.xi;
        setup.VmaxParam = c.param;
        auto o = setup.build();
        const double expected = std::max(transitionQuantile(c.v0, c.vL, c.kappa, c.xi, c.tau), 3.0 * std::max(c.v0, c.vL));
        SCOPED_TRACE(testing::Message() << "v0 " << c.v0 << " tau " << c.tau);
        EXPECT_NEAR(o->calcVmax(c.tau), expected, 1e-5 * expected);
    }
}

TEST(VarianceBound, ChiSquareAdjustmentsScaleTheQuantile)
{
    GridTestOption setup;
    setup.volvol = 0.3;
    const double q = transitionQuantile(setup.v0, setup.vL, setup.theta, setup.volvol, 1.0);
    setup.VmaxParam = 2.0;
    EXPECT_NEAR(setup.build()->calcVmax(1.0), 2.0 * q, 2e-5 * q);
    setup.VmaxParam = 0.9999995;
    EXPECT_NEAR(setup.build()->calcVmax(1.0), 0.9999995 * q, 1e-5 * q);

    setup.VmaxParam = 1.0;
    setup.volvol = 0.6;  // outside [0.04, 0.4]
    const double wide = transitionQuantile(setup.v0, setup.vL, setup.theta, 0.6, 1.0);
    EXPECT_NEAR(setup.build()->calcVmax(1.0), 1.35 * wide, 1e-5 * wide);
    setup.modelCode = 1.0;  // the GARCH-type law reaches further
    EXPECT_NEAR(setup.build()->calcVmax(1.0), 1.35 * 1.111111111111111 * 1.2 * wide, 1e-5 * wide);
}

// Whatever the gamma rule cannot give, the chi-square rule gives instead; nothing escapes.
TEST(VarianceBound, GammaRuleFallsBackToTheChiSquareRule)
{
    auto fallback = [](GridTestOption setup) {
        auto o = setup.build();
        const double got = o->calcVmax(1.0);
        EXPECT_EQ(got, o->chiSquareQuantileVmax(1.0));
        EXPECT_TRUE(std::isfinite(got));
        EXPECT_GE(got, 3.0 * std::max(setup.v0, setup.vL));
    };
    GridTestOption setup;
    setup.modelCode = 2.0;
    setup.VmaxParam = 0.0;  // "bad p in Gammadist"
    fallback(setup);
    setup.modelCode = 1.0;
    setup.VmaxParam = 0.99;
    setup.vL = 0.0;  // a zero gamma rate: "bad alph,bet in Gammadist"
    fallback(setup);
    setup.vL = -0.01;
    fallback(setup);
    setup.vL = 0.05;
    setup.v0 = 2.0;  // v0 above 0.9 of the quantile: "Insufficient grid coverage"
    fallback(setup);
    setup.v0 = 0.04;
    setup.volvol = 0.0;  // an infinite shape
    setup.build()->calcVmax(1.0);
    setup.volvol = 0.5;
    setup.VmaxParam = std::numeric_limits<double>::quiet_NaN();
    fallback(setup);
}

TEST(VarianceBound, ChiSquareRuleFallsBackToFourStationaryDeviations)
{
    GridTestOption setup;
    setup.volvol = 0.3;
    setup.v0 = 3.0;  // far above the 0.9999 quantile of the transition law: coverage fails
    auto o = setup.build();
    const double dev = 4.0 * 0.3 * std::sqrt(0.05 / (2.0 * 2.0));
    EXPECT_DOUBLE_EQ(o->calcVmax(1.0), std::max(3.0 + dev, 3.0 * 3.0));

    setup.v0 = 0.04;
    setup.theta = 0.0;  // read as 1e-10
    auto slow = setup.build();
    const double slowBound = slow->calcVmax(1.0);
    EXPECT_TRUE(std::isfinite(slowBound));
    EXPECT_GE(slowBound, 0.15);

    setup.theta = 2.0;
    setup.volvol = std::numeric_limits<double>::quiet_NaN();
    EXPECT_DOUBLE_EQ(setup.build()->calcVmax(1.0), 0.15);  // nothing usable: the floor 3 max(v0, vL)
}

}  // namespace
