#include "density/square_root_variance.h"

#include "numerics/gamma_distribution.h"
#include "numerics/implied_vol.h"
#include "numerics/noncentral_chi_square.h"
#include "numerics/normal_distribution.h"
#include "numerics/numerical_error.h"

#include <cmath>
#include <exception>

namespace {

// Tolerance of the quantile search in units of the chi-square variable, whose quantiles at the
// levels of a grid bound lie in the tens and above: far below anything a grid can resolve.
constexpr double kChiSquareTolerance = 1e-6;

// The failure of the gamma law's quantile, which callers of the critical variances have always met
// for a level without a quantile.
const char* const kBadLevel = "bad p in Gammadist";

void requireLevel(double level)
{
    if (!(level > 0.0 && level < 1.0)) {
        throw NumericalError(kBadLevel);
    }
}

// Wilson-Hilferty form of χ′²(df, ncp): (X / (df + ncp))^(1/3) is close to normal
// with mean 1 - s2 and variance s2, s2 = 2 (df + 2 ncp) / (9 (df + ncp)^2); its error shrinks as
// ncp grows.
double wilsonHilfertyQuantile(double df, double ncp, double level)
{
    const double mean = df + ncp;
    const double s2 = 2.0 * (df + 2.0 * ncp) / (9.0 * mean * mean);
    const double s = std::sqrt(s2);
    const double z = brentRoot([level](double x) { return normalCdf(x) - level; }, -40.0, 40.0, 1e-12);
    const double root = 1.0 - s2 + z * s;
    return root > 0.0 ? mean * root * root * root : 0.0;
}

}  // namespace

bool SquareRootVariance::valid() const
{
    return v0 >= 0.0 && vL > 0.0 && kappa > 0.0 && xi > 0.0 && std::isfinite(v0) && std::isfinite(vL)
           && std::isfinite(kappa) && std::isfinite(xi);
}

double SquareRootVariance::quantile(double T, double level) const
{
    requireLevel(level);
    if (!valid() || !(T > 0.0)) {
        return 0.0;
    }
    const double e = std::exp(-kappa * T);
    // 1 - e without the cancellation of short horizons.
    const double growth = -std::expm1(-kappa * T);
    const double df = 4.0 * kappa * vL / (xi * xi);
    const double ncp = 4.0 * kappa * e * v0 / (xi * xi * growth);
    const double scale = xi * xi * growth / (4.0 * kappa);
    if (!std::isfinite(ncp)) {
        return 0.0;
    }
    try {
        return ncChiSquareQuantile(df, ncp, level, kChiSquareTolerance) * scale;
    } catch (const std::exception&) {
        return wilsonHilfertyQuantile(df, ncp, level) * scale;
    }
}

double SquareRootVariance::stationaryQuantile(double level) const
{
    requireLevel(level);
    if (!valid()) {
        return 0.0;
    }
    const double rate = 2.0 * kappa / (xi * xi);
    Gammadist law(rate * vL, rate);
    return law.quantile(level);
}
