// Upper end Vmax of the variance grid: a fixed bound, a quantile of the stationary (inverse-gamma)
// law of a GARCH-type variance, or a quantile of the non-central chi-square law of the square-root
// variance at the horizon. The quantile rules fall back to coarser bounds instead of failing.

#include "model/option_objects.h"

#include "numerics/gamma_distribution.h"
#include "numerics/noncentral_chi_square.h"
#include "numerics/numerical_error.h"

#include <algorithm>
#include <cmath>
#include <exception>

namespace {

const char* const kCoverageFailure = "Insufficient grid coverage";

// A bound that is not a positive number, or that leaves v0 in the top tenth of the grid, does not
// cover the variance; the quantile rules then take their fallback.
void requireCoverage(double vmax, double v0)
{
    if (!(vmax > 0.0) || !std::isfinite(vmax) || v0 / vmax > 0.9)
        throw NumericalError(kCoverageFailure);
}

}  // namespace

double OrvHestonVanilla::calcVmax(double horizon)
{
    const double p = VmaxParam;
    if (p < 0.0) {
        const double floor = 3.0 * std::max(v0, vL);
        return -p > floor ? -p : floor;
    }
    if (p >= 1.0 || modelCode == 0)
        return chiSquareQuantileVmax(horizon);
    return gammaQuantileVmax(horizon);
}

double OrvHestonVanilla::gammaQuantileVmax(double horizon)
{
    const double kappa = theta > 1e-10 ? theta : 1e-10;
    const double xi = volvol;
    const double tau = horizon == 0.0 ? T : horizon;
    try {
        // In the stationary state 1/v follows the gamma law with this shape and rate.
        const double alpha = 1.0 + 2.0 * kappa / (xi * xi);
        const double beta = 2.0 * kappa * vL / (xi * xi);
        Gammadist law(alpha, beta);
        const double q = 1.0 - VmaxParam;
        if (q < 0.0 || q >= 1.0)
            throw NumericalError("bad p in Gammadist");
        const double Q = 1.0 / (law.invgammap(q, alpha) / beta);
        // From 2 % of the stationary quantile for short horizons up to all of it.
        const double f = std::min((kappa * tau - 0.25) / 2.5, 1.0);
        const double vmax = f * Q > 0.02 * Q ? f * Q : 0.02 * Q;
        requireCoverage(vmax, v0);
        return vmax;
    } catch (const std::exception&) {
        return chiSquareQuantileVmax(tau);
    }
}

double OrvHestonVanilla::chiSquareQuantileVmax(double horizon)
{
    const double kappa = theta > 1e-10 ? theta : 1e-10;
    const double xi = volvol;
    const double tau = horizon == 0.0 ? T : horizon;
    const double e = std::exp(-kappa * tau);
    // The square-root variance at tau, started at v0, is scale * chi'^2(df, ncp).
    const double df = 4.0 * kappa * vL / (xi * xi);
    const double ncp = 4.0 * kappa * e * v0 / (xi * xi * (1.0 - e));
    const double scale = xi * xi * (1.0 - e) / (4.0 * kappa);

    double vmax;
    try {
        vmax = ncChiSquareQuantile(df, ncp, 0.9999, 1e-6) * scale;
        requireCoverage(vmax, v0);
    } catch (const std::exception&) {
        // Four stationary standard deviations above the larger of v0 and vL.
        const double dev = 4.0 * xi * std::sqrt(vL / (2.0 * kappa));
        vmax = std::max(vL + dev, v0 + dev);
    }

    if (xi > 0.4 || xi < 0.04)
        vmax = 1.35 * vmax;
    if (modelCode == 1) {
        vmax = 1.111111111111111 * vmax;
        vmax = std::max(2.0 * xi, 1.0) * vmax;
    }
    if (VmaxParam >= 0.5)
        vmax = VmaxParam * vmax;
    const double floor = 3.0 * std::max(v0, vL);
    return vmax > floor ? vmax : floor;
}
