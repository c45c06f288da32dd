#include "heston/gauss_lobatto_integral.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "heston/heston_failure.h"

namespace {

const double eps = std::numeric_limits<double>::epsilon();
// Inner Gauss-Lobatto abscissae of the four- and seven-point rules, relative to the half-width.
const double alpha = std::sqrt(2.0 / 3.0);
const double beta = 1.0 / std::sqrt(5.0);
// Further abscissae of the thirteen-point rule that estimates the size of the integral.
const double x1 = 0.9428824156954797;
const double x2 = 0.6418533423457813;
const double x3 = 0.23638319966214988;

}  // namespace

constexpr double GaussLobattoIntegral::noRelativeAccuracy;

GaussLobattoIntegral::GaussLobattoIntegral(std::uint64_t maxEvaluations, double absoluteAccuracy,
                                           double relAccuracy, bool useConvergenceEstimate)
    : Integrator(absoluteAccuracy, maxEvaluations),
      relAccuracy(relAccuracy),
      useConvergenceEstimate(useConvergenceEstimate) {}

double GaussLobattoIntegral::integrateInterval(const Integrand& f, double a, double b) {
    setEvaluations(0);
    const double tol = absoluteToleranceFromRelative(f, a, b);
    addEvaluations(2);
    const double fa = f(a);
    const double fb = f(b);
    return adaptiveStep(f, a, b, fa, fb, tol);
}

double GaussLobattoIntegral::absoluteToleranceFromRelative(const Integrand& f, double a, double b) {
    const double relTol = std::max(relAccuracy, eps);
    const double m = (a + b) / 2;
    const double h = (b - a) / 2;
    const double y1 = f(a);
    const double y3 = f(m - alpha * h);
    const double y5 = f(m - beta * h);
    const double y7 = f(m);
    const double y9 = f(m + beta * h);
    const double y11 = f(m + alpha * h);
    const double y13 = f(b);
    const double f1 = f(m - x1 * h);
    const double f2 = f(m + x1 * h);
    const double f3 = f(m - x2 * h);
    const double f4 = f(m + x2 * h);
    const double f5 = f(m - x3 * h);
    const double f6 = f(m + x3 * h);

    const double acc = h * (0.015827191973480183 * (y1 + y13) + 0.09427384021885005 * (f1 + f2) +
                            0.1550719873365854 * (y3 + y11) + 0.18882157396018245 * (f3 + f4) +
                            0.19977340522685852 * (y5 + y9) + 0.22492646533333951 * (f5 + f6) +
                            0.24261107190140774 * y7);
    addEvaluations(13);

    if (acc == 0.0 && (f1 != 0.0 || f2 != 0.0 || f3 != 0.0 || f4 != 0.0 || f5 != 0.0 || f6 != 0.0))
        throw hestonFailure(
            "Can not calculate absolute accuracy from relative accuracy in Gauss-Lobatto routine");

    double r = 1.0;
    if (useConvergenceEstimate) {
        const double i2 = (h / 6) * (y1 + y13 + 5 * (y5 + y9));
        const double i1 =
            (h / 1470) * (77 * (y1 + y13) + 432 * (y3 + y11) + 625 * (y5 + y9) + 672 * y7);
        if (std::fabs(i2 - acc) != 0.0) r = std::fabs(i1 - acc) / std::fabs(i2 - acc);
        if (r == 0.0 || r > 1.0) r = 1.0;
    }

    if (relAccuracy == noRelativeAccuracy) return getAbsoluteAccuracy() / (r * eps);
    return std::min(getAbsoluteAccuracy(), acc * relTol) / (r * eps);
}

double GaussLobattoIntegral::adaptiveStep(const Integrand& f, double a, double b, double fa,
                                          double fb, double is) {
    if (getEvaluations() >= getMaxEvaluations())
        throw hestonFailure("Max number of iterations reached in Gauss-Lobatto routine");

    const double h = (b - a) / 2;
    const double m = (a + b) / 2;
    const double mll = m - alpha * h;
    const double ml = m - beta * h;
    const double mr = m + beta * h;
    const double mrr = m + alpha * h;

    const double fmll = f(mll);
    const double fml = f(ml);
    const double fm = f(m);
    const double fmr = f(mr);
    const double fmrr = f(mrr);
    addEvaluations(5);

    const double i2 = (h / 6) * (fa + fb + 5 * (fml + fmr));
    const double i1 = (h / 1470) *
                      (77 * (fa + fb) + 432 * (fmll + fmrr) + 625 * (fml + fmr) + 672 * fm);

    // The two rules agree to the last bit of the tolerance, or the interval is too small to split.
    if ((i1 - i2) + is == is || mll <= a || b <= mrr) {
        if (!(m > a && b > m))
            throw hestonFailure("Interval contains no more machine number in Gauss-Lobatto routine");
        return i1;
    }

    // One statement per piece: the pieces are visited left to right (the budget check depends on
    // it) and summed in that order (the rounding of the result depends on it).
    double sum = adaptiveStep(f, a, mll, fa, fmll, is);
    sum += adaptiveStep(f, mll, ml, fmll, fml, is);
    sum += adaptiveStep(f, ml, m, fml, fm, is);
    sum += adaptiveStep(f, m, mr, fm, fmr, is);
    sum += adaptiveStep(f, mr, mrr, fmr, fmrr, is);
    sum += adaptiveStep(f, mrr, b, fmrr, fb, is);
    return sum;
}
