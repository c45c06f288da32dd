#include "numerics/black_scholes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Closed form evaluated with the C library's erfc: an independent route to the same price.
double referencePrice(double S, double K, double r, double d, double sigma, double T, bool put)
{
    const auto N = [](double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); };
    const double d1 = (std::log(S / K) + (r - d + 0.5 * sigma * sigma) * T) / (sigma * std::sqrt(T));
    const double d2 = d1 - sigma * std::sqrt(T);
    if (put) {
        return K * std::exp(-r * T) * N(-d2) - S * std::exp(-d * T) * N(-d1);
    }
    return S * std::exp(-d * T) * N(d1) - K * std::exp(-r * T) * N(d2);
}

TEST(BlackScholesPrice, TextbookValues)
{
    EXPECT_NEAR(blackScholesPrice(100, 100, 0.05, 0.0, 0.2, 1.0, 0), 10.450583572185565, 1e-13);
    EXPECT_NEAR(blackScholesPrice(100, 100, 0.05, 0.0, 0.2, 1.0, 1), 5.5735260222569679911, 1e-13);
    EXPECT_NEAR(blackScholesPrice(42, 40, 0.1, 0.0, 0.2, 0.5, 0), 4.7594223928715333951, 1e-13);
    EXPECT_NEAR(blackScholesPrice(42, 40, 0.1, 0.0, 0.2, 0.5, 1), 0.80859937290009365311, 1e-13);
    // With a dividend yield (high-precision references).
    EXPECT_NEAR(blackScholesPrice(100, 100, 0.05, 0.02, 0.25, 0.5, 0), 7.683040827874605553, 1e-13);
    EXPECT_NEAR(blackScholesPrice(100, 100, 0.05, 0.02, 0.25, 0.5, 1), 6.2090486557910669435, 1e-13);
    EXPECT_NEAR(blackScholesPrice(100, 120, 0.03, 0.01, 0.35, 2.0, 0), 13.956996203533944616, 1e-13);
    EXPECT_NEAR(blackScholesPrice(100, 120, 0.03, 0.01, 0.35, 2.0, 1), 28.94887290296825983, 1e-13);
}

TEST(BlackScholesPrice, ParityAndAgreementWithAnIndependentClosedForm)
{
    const double S = 100.0;
    const double r = 0.04;
    const double d = 0.015;
    for (double moneyness : {0.5, 0.8, 1.0, 1.25, 2.0}) {
        for (double T : {1.0 / 365.0, 0.25, 1.0, 10.0}) {
            for (double sigma : {0.05, 0.3, 1.5}) {
                const double K = S * moneyness;
                const double call = blackScholesPrice(S, K, r, d, sigma, T, 0);
                const double put = blackScholesPrice(S, K, r, d, sigma, T, 1);
                const double forwardGap = S * std::exp(-d * T) - K * std::exp(-r * T);
                EXPECT_NEAR(call - put, forwardGap, 1e-12 * S) << K << " " << T << " " << sigma;
                EXPECT_NEAR(call, referencePrice(S, K, r, d, sigma, T, false), 1e-12 * S);
                EXPECT_NEAR(put, referencePrice(S, K, r, d, sigma, T, true), 1e-12 * S);
                EXPECT_GE(call, 0.0);
                EXPECT_GE(put, 0.0);
            }
        }
    }
}

TEST(BlackScholesPrice, EveryNonZeroFlagPricesAPut)
{
    const double put = blackScholesPrice(100, 90, 0.02, 0.0, 0.3, 0.7, 1);
    EXPECT_EQ(blackScholesPrice(100, 90, 0.02, 0.0, 0.3, 0.7, -1), put);
    EXPECT_EQ(blackScholesPrice(100, 90, 0.02, 0.0, 0.3, 0.7, 7), put);
}

TEST(BlackScholesPrice, ZeroVolatilityGivesDiscountedIntrinsicValue)
{
    const double r = 0.05;
    const double d = 0.01;
    const double T = 2.0;
    for (double K : {80.0, 100.0, 120.0}) {
        const double gap = 100.0 * std::exp(-d * T) - K * std::exp(-r * T);
        EXPECT_NEAR(blackScholesPrice(100, K, r, d, 0.0, T, 0), std::fmax(gap, 0.0), 1e-12);
        EXPECT_NEAR(blackScholesPrice(100, K, r, d, 0.0, T, 1), std::fmax(-gap, 0.0), 1e-12);
    }
}


} // namespace
