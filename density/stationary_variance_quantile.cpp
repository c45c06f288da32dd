#include "density/stationary_variance_quantile.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();

// Log-variance range searched for the law: variances from about 1e-17 to 1e7.
constexpr double kLowestLogVariance = -40.0;
constexpr double kHighestLogVariance = 16.0;
constexpr int kScanNodes = 5600;
// The law is integrated where its log-density lies within this of the peak: what lies outside
// weighs below e^-60 of the peak, far below the smallest tail a level of a grid bound asks for.
constexpr double kLogDensityDepth = 60.0;
constexpr int kQuadratureIntervals = 4000;

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
    while (scan[first] < peak - kLogDensityDepth) ++first;
    int last = kScanNodes;
    while (scan[last] < peak - kLogDensityDepth) --last;
    // A law still heavy at either end of the searched range has no usable quantile there.
    if (first == 0 || last == kScanNodes || last - first < 2) {
        return 0.0;
    }
    const double lower = kLowestLogVariance + (first - 1) * step;
    const double upper = kLowestLogVariance + (last + 1) * step;

    // Tail masses from the top, trapezoid by trapezoid: the small upper tails a grid bound asks
    // for keep their digits.
    const double h = (upper - lower) / kQuadratureIntervals;
    std::vector<double> density(kQuadratureIntervals + 1);
    for (int i = 0; i <= kQuadratureIntervals; ++i) {
        density[i] = std::exp(logDensity(lower + i * h) - peak);
    }
    std::vector<double> tail(kQuadratureIntervals + 1, 0.0);
    for (int i = kQuadratureIntervals - 1; i >= 0; --i) {
        tail[i] = tail[i + 1] + 0.5 * h * (density[i] + density[i + 1]);
    }
    const double sought = (1.0 - level) * tail[0];
    int i = kQuadratureIntervals - 1;
    while (i > 0 && tail[i] < sought) --i;
    // tail[i] >= sought > tail[i + 1]: the log of the tail mass is close to linear over one step.
    const double a = tail[i];
    const double b = tail[i + 1];
    double x;
    if (b > 0.0) {
        x = lower + h * (i + std::log(a / sought) / std::log(a / b));
    } else {
        x = lower + h * (i + (a - sought) / a);
    }
    return std::exp(x);
}
