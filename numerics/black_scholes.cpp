#include "numerics/black_scholes.h"

#include "numerics/normal_distribution.h"

#include <cmath>

namespace {
constexpr double kZeroVolatilityStandIn = 1e-10;
}

double blackScholesPrice(double S, double K, double r, double d, double sigma, double T, int callPut)
{
    if (sigma == 0.0) {
        sigma = kZeroVolatilityStandIn;
    }
    const double sqrtT = std::sqrt(T);
    const double s = sigma * sqrtT;
    const double d1 = (std::log(S / K) + (r - d) * T) / s + 0.5 * sigma * sqrtT;
    const double d2 = d1 - s;
    const double discountedSpot = S * std::exp(-d * T);
    const double discountedStrike = K * std::exp(-r * T);
    if (callPut == 0) {
        return discountedSpot * normalCdf(d1) - discountedStrike * normalCdf(d2);
    }
    return discountedStrike * normalCdf(-d2) - discountedSpot * normalCdf(-d1);
}
