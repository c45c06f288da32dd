#include "density/stationary_variance_quantile.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();

// Log-variance range searched for the law: variances from about 4e-18 to 3e10. A law still heavy
// at either end is taken as cut off there, which no variance grid could reach beyond anyway.
constexpr double kLowestLogVariance = -40.0;
constexpr double kHighestLogVariance = 24.0;
constexpr int kScanNodes = 6400;
// The law is integrated where its log-density lies within this of the peak: what lies outside
// weighs about e^-30 of the whole, far below the smallest tail a grid bound asks for (1e-8).
constexpr double kLogDensityDepth = 30.0;
constexpr int kQuadratureIntervals = 8000;

// Integral of v^k dv: v^(k+1) / (k+1), or log v for k = -1; v = e^x.
double powerIntegral(double x, double k)
{
    return k == -1.0 ? x : std::exp((k + 1.0) * x) / (k + 1.0);
}

}  // namespace

double StationaryVarianceLaw::logDensity(double x) const
{
    // Density of x: v * speed density = v^(1 - 2 power) exp(c Phi(v)), with c = 2 kappa / xi^2 and
    // Phi the integral of v^a (vL - v) / v^(2 power), a = 0 or 1/2.
    const double a = sqrtScaledDrift ? 0.5 : 0.0;
    const double k = a - 2.0 * power;
    const double c = 2.0 * kappa / (xi * xi);
    const double value =
        (1.0 - 2.0 * power) * x + c * (vL * powerIntegral(x, k) - powerIntegral(x, k + 1.0));
    return std::isnan(value) ? kMinusInfinity : value;
}

double StationaryVarianceLaw::quantile(double level) const
{
    if (!(vL > 0.0 && kappa > 0.0 && xi > 0.0 && std::isfinite(vL) && std::isfinite(kappa)
          && std::isfinite(xi) && std::isfinite(power) && level > 0.0 && level < 1.0)) {
        return 0.0;
    }

    // The peak, then the range about it that holds the law.
    const double step = (kHighestLogVariance - kLowestLogVariance) / kScanNodes;
    std::vector<double> scan(kScanNodes + 1);
    double peak = kMinusInfinity;
    for (int i = 0; i <= kScanNodes; ++i) {
        scan[i] = logDensity(kLowestLogVariance + i * step);
        peak = std::max(peak, scan[i]);
    }
    if (!std::isfinite(peak)) {
        return 0.0;
    }
    int first = 0;
    while (first < kScanNodes && scan[first] < peak - kLogDensityDepth) ++first;
    int last = kScanNodes;
    while (last > 0 && scan[last] < peak - kLogDensityDepth) --last;
    const double lower = kLowestLogVariance + std::max(first - 1, 0) * step;
    const double upper = kLowestLogVariance + std::min(last + 1, kScanNodes) * step;

    // Tail masses from the top, so that the small upper tails a grid bound asks for keep their
    // digits: trapezoids with the end correction h^2/12 f'(x_i) of the Euler-Maclaurin formula,
    // which the tail of a fast-decaying density needs (the plain rule is off by about (h k)^2 / 12
    // with k the decay rate of the density at the quantile).
    const double h = (upper - lower) / kQuadratureIntervals;
    std::vector<double> density(kQuadratureIntervals + 1);
    for (int i = 0; i <= kQuadratureIntervals; ++i) {
        density[i] = std::exp(logDensity(lower + i * h) - peak);
    }
    std::vector<double> trapezoids(kQuadratureIntervals + 1, 0.0);
    for (int i = kQuadratureIntervals - 1; i >= 0; --i) {
        trapezoids[i] = trapezoids[i + 1] + 0.5 * h * (density[i] + density[i + 1]);
    }
    auto tail = [&](int i) {
        const int below = std::max(i - 1, 0);
        const int above = std::min(i + 1, kQuadratureIntervals);
        const double slope = (density[above] - density[below]) / ((above - below) * h);
        return trapezoids[i] + h * h / 12.0 * slope;
    };
    const double total = tail(0);
    const double sought = (1.0 - level) * total;
    int i = kQuadratureIntervals - 1;
    while (i > 0 && tail(i) < sought) --i;
    // tail(i) >= sought > tail(i + 1): the log of the tail mass is close to linear over one step.
    const double a = tail(i);
    const double b = tail(i + 1);
    double x;
    if (b > 0.0 && a > b) {
        x = lower + h * (i + std::log(a / sought) / std::log(a / b));
    } else {
        x = lower + h * (i + (a - sought) / a);
    }
    return std::exp(x);
}
