#include "numerics/noncentral_chi_square.h"
#include "numerics/incomplete_gamma.h"
#include "numerics/numerical_error.h"
#include "numerics/support/error_message.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

using namespace numerics_test;

double cdf(double df, double ncp, double x)
{
    return ncChiSquareCdf(NcChiSquareTarget{df, ncp, 0.0}, x);
}

double normalCdfReference(double z)
{
    return 0.5 * std::erfc(-z / std::sqrt(2.0));
}

// One degree of freedom: X = (Z + sqrt(ncp))^2, so P(X <= x) = N(sqrt x - sqrt ncp) - N(-sqrt x - sqrt ncp).
double oneDfClosedForm(double ncp, double x)
{
    return normalCdfReference(std::sqrt(x) - std::sqrt(ncp)) - normalCdfReference(-std::sqrt(x) - std::sqrt(ncp));
}

// P(X <= x) by Simpson's rule on the density 1/2 e^-(x+ncp)/2 (x/ncp)^(df/4-1/2) I_(df/2-1)(sqrt(ncp x)),
// for df >= 2, after the substitution x = u^2 that makes the integrand smooth at 0 (it goes as u^(df-1)).
double integratedCdf(double df, double ncp, double x)
{
    const int intervals = 4000;
    const double nu = df / 2.0 - 1.0;
    auto integrand = [&](double u) {
        if (u == 0.0) {
            return 0.0;
        }
        const double s = u * u;
        return u * std::exp(-(s + ncp) / 2.0) * std::pow(s / ncp, df / 4.0 - 0.5)
               * std::cyl_bessel_i(nu, std::sqrt(ncp * s));
    };
    const double upper = std::sqrt(x);
    const double h = upper / intervals;
    long double sum = integrand(0.0) + integrand(upper);
    for (int i = 1; i < intervals; ++i) {
        sum += (i % 2 == 1 ? 4.0 : 2.0) * integrand(i * h);
    }
    return static_cast<double>(sum * h / 3.0);
}

// P(X <= x) as the Poisson(ncp/2) mixture of central laws with df + 2i degrees of freedom, summed
// around the mode of the weights (a different summation from the one under test).
double poissonMixtureCdf(double df, double ncp, double x)
{
    const double lambda = ncp / 2.0;
    const int centre = static_cast<int>(lambda);
    const int width = static_cast<int>(40.0 * std::sqrt(lambda + 1.0)) + 40;
    IncGamma g;
    long double sum = 0.0L;
    for (int i = std::max(0, centre - width); i <= centre + width; ++i) {
        const double weight = std::exp(-lambda + i * std::log(lambda) - std::lgamma(i + 1.0));
        sum += weight * g.gammp(df / 2.0 + i, x / 2.0);
    }
    return static_cast<double>(sum);
}

TEST(LogGamma, SixTermSeries)
{
    EXPECT_NEAR(logGamma(ncChiSquareGammaCoefficients, 1.0), 0.0, 1e-10);
    EXPECT_NEAR(logGamma(ncChiSquareGammaCoefficients, 2.0), 0.0, 1e-10);
    for (double x : {0.01, 0.5, 3.3, 11.0, 250.0, 1e5}) {
        EXPECT_NEAR(logGamma(ncChiSquareGammaCoefficients, x), std::lgamma(x),
                    1e-9 * std::max(1.0, std::fabs(std::lgamma(x)))) << x;
    }
    for (double x : {0.0, -2.0, kNaN}) {
        EXPECT_EQ(messageOf([&] { logGamma(ncChiSquareGammaCoefficients, x); }),
                  "Non-positive argumet provided to gamma function evaluation") << x;
    }
}

TEST(NcChiSquareCdf, CentralLawWhenNonCentralityIsZero)
{
    EXPECT_NEAR(cdf(2.0, 0.0, 2.0), 1.0 - std::exp(-1.0), 1e-12);
    for (double x : {0.01, 0.5, 1.0, 3.0, 8.0, 25.0, 60.0}) {
        EXPECT_NEAR(cdf(2.0, 0.0, x), -std::expm1(-x / 2.0), 1e-11) << x;
        EXPECT_NEAR(cdf(4.0, 0.0, x), 1.0 - std::exp(-x / 2.0) * (1.0 + x / 2.0), 1e-11) << x;
        EXPECT_NEAR(cdf(1.0, 0.0, x), std::erf(std::sqrt(x / 2.0)), 1e-11) << x;
        IncGamma g;
        for (double df : {0.6, 7.0, 30.0}) {
            EXPECT_NEAR(cdf(df, 0.0, x), g.gammp(df / 2.0, x / 2.0), 1e-10) << df << " " << x;
        }
    }
    // Zero degrees of freedom with ncp 0 is the point mass at zero.
    EXPECT_NEAR(cdf(0.0, 0.0, 0.5), 1.0, 1e-12);
}

TEST(NcChiSquareCdf, AgreesWithClosedFormAndIntegratedDensity)
{
    for (double ncp : {0.5, 1.0, 10.0, 100.0}) {
        for (double x : {0.05, 0.7, 2.0, 9.0, 40.0, 130.0, 200.0}) {
            EXPECT_NEAR(cdf(1.0, ncp, x), oneDfClosedForm(ncp, x), 2e-10) << ncp << " " << x;
        }
    }
    struct Case {
        double df;
        double ncp;
    };
    for (const Case& c : {Case{2.0, 1.0}, Case{3.0, 4.0}, Case{4.0, 3.0}, Case{7.5, 20.0}}) {
        for (double x : {0.5, 2.0, 5.0, 10.0, 30.0, 60.0}) {
            EXPECT_NEAR(cdf(c.df, c.ncp, x), integratedCdf(c.df, c.ncp, x), 1e-9) << c.df << " " << c.ncp << " " << x;
        }
    }
}

TEST(NcChiSquareCdf, LargeArgumentsNoLongerUnderflowToZero)
{
    // The first weight e^-(ncp/2) or the first term underflows here; both used to give P = 0.
    EXPECT_NEAR(cdf(1.0, 0.0, 1500.0), 1.0, 1e-11);
    EXPECT_NEAR(cdf(2.0, 0.0, 1500.0), 1.0, 1e-11);
    EXPECT_NEAR(cdf(1.0, 1600.0, 1700.0), oneDfClosedForm(1600.0, 1700.0), 1e-9);
    for (double ncp : {1600.0, 2000.0, 6000.0}) {
        const double sd = std::sqrt(2.0 * (3.0 + 2.0 * ncp));
        for (double z : {-3.0, -1.0, 0.0, 1.0, 3.7}) {
            const double x = 3.0 + ncp + z * sd;
            EXPECT_NEAR(cdf(3.0, ncp, x), poissonMixtureCdf(3.0, ncp, x), 1e-9) << ncp << " " << x;
        }
    }
    // No jump where the summation switches to logarithms (ncp/2 = 700).
    EXPECT_NEAR(cdf(5.0, 1399.999999, 1420.0), poissonMixtureCdf(5.0, 1399.999999, 1420.0), 1e-9);
    EXPECT_NEAR(cdf(5.0, 1400.000001, 1420.0), poissonMixtureCdf(5.0, 1400.000001, 1420.0), 1e-9);
}

TEST(NcChiSquareCdf, MonotoneInXAndShiftedByTarget)
{
    const NcChiSquareTarget record{3.0, 2.5, 0.9999};
    double previous = ncChiSquareCdf(record, 0.0);
    EXPECT_EQ(previous, -0.9999);
    EXPECT_EQ(ncChiSquareCdf(record, -5.0), -0.9999);
    EXPECT_NEAR(ncChiSquareCdf(record, kInf), 1.0 - 0.9999, 1e-16);
    for (double x = 0.01; x < 80.0; x *= 1.3) {
        const double value = ncChiSquareCdf(record, x);
        EXPECT_GE(value, previous) << x;
        EXPECT_NEAR(value, cdf(3.0, 2.5, x) - 0.9999, 1e-15);
        previous = value;
    }
}

TEST(NcChiSquareCdf, UnfinishedSeriesIsAFailureNotAValue)
{
    // The terms run out before df + 2j - x turns positive: the sum is incomplete (it used to come back
    // as P = 0 for a point far above the whole distribution).
    const char* noConvergence = "Non-central chi-square distribuion didn't converge.";
    EXPECT_EQ(messageOf([] { cdf(10.0, 1.0, 30000.0); }), noConvergence);
    EXPECT_EQ(messageOf([] { cdf(2.0, 1e5, 1e5); }), noConvergence);
}

TEST(NcChiSquareCdf, BadArguments)
{
    const char* bad = "bad args in ncChiSquareCdf";
    EXPECT_EQ(messageOf([] { cdf(-1.0, 1.0, 2.0); }), bad);
    EXPECT_EQ(messageOf([] { cdf(kNaN, 1.0, 2.0); }), bad);
    EXPECT_EQ(messageOf([] { cdf(kInf, 1.0, 2.0); }), bad);
    EXPECT_EQ(messageOf([] { cdf(2.0, -0.1, 2.0); }), bad);
    EXPECT_EQ(messageOf([] { cdf(2.0, kNaN, 2.0); }), bad);
    EXPECT_EQ(messageOf([] { cdf(2.0, kInf, 2.0); }), bad);
    EXPECT_EQ(messageOf([] { cdf(2.0, 1.0, kNaN); }), bad);
    EXPECT_EQ(messageOf([] { ncChiSquareCdf(NcChiSquareTarget{2.0, 1.0, kNaN}, 1.0); }), bad);
}

TEST(BrentNcChiSquareQuantile, CentralTableValuesAndRoundTrips)
{
    EXPECT_NEAR(brentNcChiSquareQuantile(NcChiSquareTarget{1.0, 0.0, 0.95}, 0.0, 50.0, 1e-12), 3.841458820694124, 1e-8);
    EXPECT_NEAR(brentNcChiSquareQuantile(NcChiSquareTarget{10.0, 0.0, 0.95}, 0.0, 50.0, 1e-12), 18.307038053275146, 1e-8);
    for (double ncp : {0.3, 5.0, 150.0}) {
        for (double p : {0.001, 0.5, 0.9999}) {
            const double x = brentNcChiSquareQuantile(NcChiSquareTarget{1.0, ncp, p}, 0.0, 2000.0, 1e-12);
            EXPECT_NEAR(oneDfClosedForm(ncp, x), p, 2e-10) << ncp << " " << p;
        }
    }
    // The way the variance-grid bound uses it: double from the mean until the law passes 0.9999,
    // then search the last doubling with tolerance 1e-6.
    for (double ncp : {0.5, 40.0, 2500.0}) {
        const double df = 2.7;
        double x = df + ncp;
        int doublings = 0;
        while (cdf(df, ncp, x) < 0.9999 && doublings < 1000) {
            x *= 2.0;
            ++doublings;
        }
        const double lower = doublings > 0 ? x / 2.0 : 0.0;
        const double root = brentNcChiSquareQuantile(NcChiSquareTarget{df, ncp, 0.9999}, lower, x, 1e-6);
        EXPECT_NEAR(poissonMixtureCdf(df, ncp, root), 0.9999, 1e-8) << ncp;
    }
}

TEST(BrentNcChiSquareQuantile, BracketRules)
{
    const NcChiSquareTarget median{2.0, 0.0, 0.5};
    const char* notBracketed = "Root must be bracketed in Brent solver";
    EXPECT_EQ(messageOf([&] { brentNcChiSquareQuantile(median, 100.0, 200.0, 1e-6); }), notBracketed);
    EXPECT_EQ(messageOf([&] { brentNcChiSquareQuantile(median, 0.0, 1e-3, 1e-6); }), notBracketed);
    // An end with an exact zero is a bracket, and is the answer.
    EXPECT_EQ(brentNcChiSquareQuantile(NcChiSquareTarget{2.0, 1.0, 0.0}, 0.0, 10.0, 1e-6), 0.0);
    EXPECT_EQ(messageOf([&] { brentNcChiSquareQuantile(median, kNaN, 10.0, 1e-6); }), "bad args in ncChiSquareCdf");
}

}  // namespace
