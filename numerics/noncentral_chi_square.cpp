#include "numerics/noncentral_chi_square.h"

#include "numerics/implied_vol.h"
#include "numerics/numerical_error.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kEpsilon = 2.220446049250313e-16;
constexpr double kErrorBound = 1e-12;
constexpr int kMaxTerms = 10000;
// Starting values below e^kUnderflowLog would lose their digits in subnormal arithmetic (or vanish),
// so such series run in logarithms instead.
constexpr double kUnderflowLog = -700.0;

double logAddExp(double x, double y)
{
    const double hi = std::max(x, y);
    const double lo = std::min(x, y);
    return hi + std::log1p(std::exp(lo - hi));
}

const char* const kNoConvergence = "Non-central chi-square distribuion didn't converge.";

}  // namespace

double logGamma(const double coefficients[6], double x)
{
    if (!(x > 0.0)) {
        throw NumericalError("Non-positive argumet provided to gamma function evaluation");
    }
    double ser = 1.000000000190015;
    for (int i = 0; i < 6; ++i) {
        ser += coefficients[i] / (x + (i + 1));
    }
    return std::log(2.5066282746310007 * ser / x) - ((x + 5.5) - (x + 0.5) * std::log(x + 5.5));
}

double ncChiSquareCdf(const NcChiSquareTarget& record, double x)
{
    const double df = record.df;
    const double ncp = record.ncp;
    const double target = record.target;
    // NaNs never meet the error bound and would otherwise come back as a "converged" NaN.
    if (!(df >= 0.0) || std::isinf(df) || !(ncp >= 0.0) || std::isinf(ncp) || std::isnan(x)
        || std::isnan(target)) {
        throw NumericalError("bad args in ncChiSquareCdf");
    }
    if (x <= 0.0) {
        return -target;
    }
    if (std::isinf(x)) {
        return 1.0 - target;
    }

    const double lambda = ncp / 2.0;
    const double n = df / 2.0;
    const double x2 = x / 2.0;

    // First central term: the Poisson(x2) weight of n, or its deliberate rough stand-in for huge df.
    double logT;
    if (n * kEpsilon > 0.125 && std::sqrt(kEpsilon) * n > std::fabs(x2 - n)) {
        logT = std::log(std::exp(2.0) / std::sqrt(6.283185307179586 * (n + 1.0)));
    } else {
        logT = n * std::log(x2) - x2 - logGamma(ncChiSquareGammaCoefficients, n + 1.0);
    }

    double f2n = df + 2.0;
    double fx2n = df - x + 2.0;
    int j = 1;
    bool bounded = false;
    double bound = 0.0;
    double sum;

    if (-lambda >= kUnderflowLog && logT >= kUnderflowLog) {
        // u: Poisson(lambda) weight of j, v: their running sum, t: central term of df + 2j.
        double u = std::exp(-lambda);
        double v = u;
        double t = std::exp(logT);
        sum = u * t;
        for (;;) {
            if (bounded || fx2n > 0.0) {
                bounded = true;
                bound = t * x / fx2n;
                if (bound <= kErrorBound || j > kMaxTerms) {
                    break;
                }
            }
            u = u * lambda / j;
            v = v + u;
            t = t * x / f2n;
            sum = sum + v * t;
            ++j;
            f2n += 2.0;
            fx2n += 2.0;
            if (!bounded && j > kMaxTerms) {
                bound = t * x / fx2n;
                break;
            }
        }
    } else {
        // The same series with u, v and t held as logarithms: for a large ncp or x the first weight or
        // term underflows, and the plain recurrences would then sum zeros (or subnormal noise).
        double logU = -lambda;
        double logV = logU;
        sum = std::exp(logV + logT);
        for (;;) {
            if (bounded || fx2n > 0.0) {
                bounded = true;
                bound = std::exp(logT) * x / fx2n;
                if (bound <= kErrorBound || j > kMaxTerms) {
                    break;
                }
            }
            logU += std::log(lambda / j);
            logV = logAddExp(logV, logU);
            logT += std::log(x / f2n);
            sum += std::exp(logV + logT);
            ++j;
            f2n += 2.0;
            fx2n += 2.0;
            if (!bounded && j > kMaxTerms) {
                bound = std::exp(logT) * x / fx2n;
                break;
            }
        }
    }

    // Until df + 2j - x turns positive the bound is no bound at all (it is negative), so running out
    // of terms before then means the sum is incomplete, not converged.
    if (!(fx2n > 0.0) || !(bound <= kErrorBound)) {
        throw NumericalError(kNoConvergence);
    }
    return sum - target;
}

double brentNcChiSquareQuantile(const NcChiSquareTarget& record, double x1, double x2, double tol)
{
    return brentRoot([&record](double x) { return ncChiSquareCdf(record, x); }, x1, x2, tol);
}

double ncChiSquareQuantile(double df, double ncp, double level, double tol)
{
    NcChiSquareTarget law{df, ncp, 0.0};
    double x = df + ncp;
    int doublings = 0;
    while (ncChiSquareCdf(law, x) < level && doublings < 1000) {
        x = 2.0 * x;
        ++doublings;
    }
    law.target = level;
    const double lower = doublings > 0 ? x / 2.0 : 0.0;
    return brentNcChiSquareQuantile(law, lower, x, tol);
}
