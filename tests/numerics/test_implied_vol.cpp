#include "numerics/implied_vol.h"

#include "numerics/black_scholes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

// The bracket and tolerance every caller in the system uses.
constexpr double kLow = 1e-15;
constexpr double kHigh = 2.0;
constexpr double kTol = 1e-16;

const std::string kNotBracketed = "Root must be bracketed in Brent solver";
const std::string kTooManyIterations = "Maximum number of iterations exceeded in Brent solver";

ImpliedVolTarget makeTarget(double S, double K, double T, double r, double d, double sigma, int callPut)
{
    return {S, K, T, r, d, blackScholesPrice(S, K, r, d, sigma, T, callPut), callPut};
}

std::string failureOf(const ImpliedVolTarget& target, double x1 = kLow, double x2 = kHigh, double tol = kTol)
{
    try {
        brentImpliedVol(&target, x1, x2, tol);
    } catch (const NumericalError& e) {
        return e.what();
    }
    return "no failure";
}

// Vega of the Black-Scholes price, for judging how well a price determines its volatility.
double vega(double S, double K, double T, double r, double d, double sigma)
{
    const double d1 = (std::log(S / K) + (r - d + 0.5 * sigma * sigma) * T) / (sigma * std::sqrt(T));
    return S * std::exp(-d * T) * std::exp(-0.5 * d1 * d1) / std::sqrt(2.0 * std::acos(-1.0)) * std::sqrt(T);
}

TEST(BrentImpliedVol, RoundTripsAcrossMoneynessMaturitiesAndVolatilities)
{
    const double S = 100.0;
    const double r = 0.03;
    const double d = 0.01;
    int checked = 0;
    for (double moneyness : {0.5, 0.7, 0.9, 1.0, 1.1, 1.4, 2.0}) {
        for (double T : {1.0 / 365.0, 7.0 / 365.0, 0.25, 1.0, 3.0, 10.0}) {
            for (double sigma : {0.05, 0.2, 0.5, 1.2, 1.9}) {
                for (int callPut : {0, 1}) {
                    const double K = S * moneyness;
                    const ImpliedVolTarget target = makeTarget(S, K, T, r, d, sigma, callPut);
                    // A price that rounding cannot tell from neighbouring volatilities (deep out of the
                    // money, or no time value left) determines the volatility only to within that
                    // rounding: the bound below is the price's own precision divided by vega.
                    const double priceNoise = 4e-16 * (target.price + S);
                    const double volNoise = priceNoise / vega(S, K, T, r, d, sigma);
                    if (volNoise > 1e-3) {
                        continue;
                    }
                    const double found = brentImpliedVol(&target, kLow, kHigh, kTol);
                    EXPECT_NEAR(found, sigma, 4.0 * volNoise + 1e-14)
                        << "K " << K << " T " << T << " sigma " << sigma << " callPut " << callPut;
                    ++checked;
                }
            }
        }
    }
    EXPECT_GT(checked, 300); // most of the 420 cases determine their volatility
}


TEST(BrentImpliedVol, PriceAtTheUpperEndReturnsThatEndAtOnce)
{
    const ImpliedVolTarget target = makeTarget(100, 100, 1.0, 0.05, 0.0, kHigh, 0);
    EXPECT_EQ(brentImpliedVol(&target, kLow, kHigh, kTol), kHigh);
}

TEST(BrentImpliedVol, PricesOutsideTheBracketAreRejected)
{
    // Below the discounted intrinsic value of an in-the-money call.
    ImpliedVolTarget target = makeTarget(100, 80, 1.0, 0.05, 0.0, 0.2, 0);
    target.price = 100.0 - 80.0 * std::exp(-0.05) - 0.01;
    EXPECT_EQ(failureOf(target), kNotBracketed);
    // Above the price at volatility 2.
    target.price = blackScholesPrice(100, 80, 0.05, 0.0, 2.0, 1.0, 0) + 0.01;
    EXPECT_EQ(failureOf(target), kNotBracketed);
    // A put priced above the discounted strike.
    ImpliedVolTarget put = makeTarget(100, 100, 1.0, 0.05, 0.0, 0.2, 1);
    put.price = 100.0;
    EXPECT_EQ(failureOf(put), kNotBracketed);
}

TEST(BrentImpliedVol, NonFiniteOrMissingInputsFailCleanly)
{
    ImpliedVolTarget target = makeTarget(100, 100, 1.0, 0.05, 0.0, 0.2, 0);
    const double nan = std::numeric_limits<double>::quiet_NaN();

    ImpliedVolTarget nanPrice = target;
    nanPrice.price = nan;
    EXPECT_EQ(failureOf(nanPrice), kNotBracketed);

    ImpliedVolTarget nanSpot = target;
    nanSpot.S = nan;
    EXPECT_EQ(failureOf(nanSpot), kNotBracketed);

    ImpliedVolTarget zeroExpiry = target; // at the money: 0/0 in the price
    zeroExpiry.T = 0.0;
    EXPECT_EQ(failureOf(zeroExpiry), kNotBracketed);

    ImpliedVolTarget infinitePrice = target;
    infinitePrice.price = std::numeric_limits<double>::infinity();
    EXPECT_EQ(failureOf(infinitePrice), kNotBracketed);

    EXPECT_EQ(failureOf(target, nan, kHigh), kNotBracketed);
    EXPECT_EQ(failureOf(target, kLow, nan), kNotBracketed);

    EXPECT_THROW(brentImpliedVol(nullptr, kLow, kHigh, kTol), NumericalError);
}

TEST(BrentImpliedVol, NaNToleranceEndsWithAClearFailure)
{
    const ImpliedVolTarget target = makeTarget(100, 100, 1.0, 0.05, 0.0, 0.3, 0);
    const std::string failure = failureOf(target, kLow, kHigh, std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE(failure == "Non-finite function value in Brent solver" || failure == kTooManyIterations)
        << failure;
}



TEST(BrentRoot, ConvergesToKnownRoots)
{
    EXPECT_NEAR(brentRoot([](double x) { return std::cos(x) - x; }, 0.0, 1.0, 1e-16), 0.7390851332151607,
                2e-16);
    EXPECT_NEAR(brentRoot([](double x) { return x * x * x - 2.0; }, 0.0, 5.0, 1e-16), std::cbrt(2.0), 4e-16);
    EXPECT_NEAR(brentRoot([](double x) { return std::exp(x) - 10.0; }, -50.0, 50.0, 1e-16), std::log(10.0),
                1e-15);
    // A coarse tolerance stops early but within it.
    EXPECT_NEAR(brentRoot([](double x) { return x - 1.0 / 3.0; }, 0.0, 1.0, 1e-3), 1.0 / 3.0, 1e-3);
}

TEST(BrentRoot, ExactZeroAtAnEndIsAcceptedAsABracket)
{
    EXPECT_EQ(brentRoot([](double x) { return x - 2.0; }, 5.0, 2.0, 1e-12), 2.0);
    const double found = brentRoot([](double x) { return x * x; }, 0.0, 1.0, 1e-12);
    EXPECT_NEAR(found, 0.0, 1e-6);
}

TEST(BrentRoot, ReportsItsTwoFailures)
{
    try {
        brentRoot([](double x) { return x * x + 1.0; }, -1.0, 1.0, 1e-12);
        FAIL() << "no failure";
    } catch (const NumericalError& e) {
        EXPECT_EQ(std::string(e.what()), kNotBracketed);
    }
    // A jump with no zero and a tolerance that can never be met: the search runs out of iterations.
    try {
        brentRoot([](double x) { return x < 0.5 ? -1.0 : 1.0; }, 0.0, 1.0, -1.0);
        FAIL() << "no failure";
    } catch (const NumericalError& e) {
        EXPECT_EQ(std::string(e.what()), kTooManyIterations);
    }
}

TEST(BrentRoot, ObjectiveTurningNonFiniteInsideTheBracketFails)
{
    const auto f = [](double x) { return x > -0.9 && x < 0.9 ? std::numeric_limits<double>::quiet_NaN() : x; };
    EXPECT_THROW(brentRoot(f, -1.0, 1.0, 1e-12), NumericalError);
}

} // namespace
