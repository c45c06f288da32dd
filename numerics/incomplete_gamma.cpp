#include "numerics/incomplete_gamma.h"

#include "numerics/numerical_error.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kEpsilon = std::numeric_limits<double>::epsilon();
// Lentz's substitute for a vanishing denominator: tiny, yet its reciprocal stays finite.
constexpr double kFpMin = std::numeric_limits<double>::min() / kEpsilon;

// A NaN argument never meets a convergence test, so the series and the fraction stop here instead of
// looping for ever. Inside gammp both need far fewer terms (a < 100 there).
constexpr int kMaxTerms = 1000000;

constexpr double kLanczosCoefficients[14] = {
    57.15623566586292,       -59.59796035547549,     14.136097974741746,
    -0.4919138160976202,     3.399464998481189e-05,  4.652362892704858e-05,
    -9.837447530487956e-05,  0.0001580887032249125,  -0.00021026444172410488,
    0.00021743961811521265,  -0.0001643181065367639, 8.441822398385275e-05,
    -2.6190838401581408e-05, 3.6899182659531625e-06};

// Positive half of the 36-point Gauss-Legendre rule on [-1, 1], as distances y = 1 - node from the
// right end, in increasing order, with the rule's weights (which sum to 1 over this half).
constexpr int kQuadraturePoints = 18;
constexpr double kQuadratureY[kQuadraturePoints] = {
    0.0021695375159141994, 0.011413521097787762, 0.02797230895030205, 0.051727015600492456,
    0.08250222548434094,   0.12007019910960287,  0.1641528330075247,  0.2144237698677935,
    0.2705108284064434,    0.3319987634144789,   0.3984323418640195,  0.46931971407375483,
    0.5441360555665797,    0.6223274528803108,   0.7033150046559717,  0.7864991076831345,
    0.8712638961906152,    0.9569818015262914};
constexpr double kQuadratureW[kQuadraturePoints] = {
    0.005565719664244557, 0.012915947284065574, 0.020181515297735472, 0.02729862149856878,
    0.03421381077030723,  0.04087575092364489,  0.04723508349026598,  0.05324471397775992,
    0.05886014424532482,  0.06403979735501548,  0.06874532383573645,  0.07294188500565306,
    0.07659841064587067,  0.0796878289120716,   0.0821872667043397,   0.08407821897966193,
    0.08534668573933862,  0.08598327567039482};

// Shared by the three evaluation methods, which callers may also use directly.
void checkGammpArguments(double a, double x)
{
    if (!(a > 0.0) || !(x >= 0.0) || std::isinf(x)) {
        throw NumericalError("bad args in gammp");
    }
}

}  // namespace

double gammln(double x)
{
    if (!(x > 0.0) || std::isinf(x)) {
        throw NumericalError("bad arg in gammln");
    }
    const double tmp = x + 5.2421875;
    const double base = (x + 0.5) * std::log(tmp) - tmp;
    double ser = 0.9999999999999971;
    double y = x;
    for (double c : kLanczosCoefficients) {
        y += 1.0;
        ser += c / y;
    }
    return base + std::log(2.5066282746310007 * ser / x);
}

double IncGamma::gammp(double a, double x)
{
    if (!(x >= 0.0) || !(a > 0.0)) {
        throw NumericalError("bad args in gammp");
    }
    if (x == 0.0 || std::isinf(x)) {
        lastLogGamma = gammln(a);
        return x == 0.0 ? 0.0 : 1.0;
    }
    // Same as truncating a to an integer and comparing with 100 (a > 0 here), without the overflow of
    // the conversion for huge shapes.
    if (a >= 100.0) {
        return gammpQuadrature(a, x);
    }
    if (x < a + 1.0) {
        return gammpSeries(a, x);
    }
    return 1.0 - gammqFraction(a, x);
}

double IncGamma::gammpSeries(double a, double x)
{
    checkGammpArguments(a, x);
    lastLogGamma = gammln(a);
    double ap = a;
    double del = 1.0 / a;
    double sum = del;
    for (int n = 0;; ++n) {
        if (n == kMaxTerms) {
            throw NumericalError("Incomplete gamma series did not converge");
        }
        ap += 1.0;
        del = del * x / ap;
        sum += del;
        if (std::fabs(del) < std::fabs(sum) * kEpsilon) {
            break;
        }
    }
    return sum * std::exp(-x + a * std::log(x) - lastLogGamma);
}

double IncGamma::gammqFraction(double a, double x)
{
    checkGammpArguments(a, x);
    lastLogGamma = gammln(a);
    double b = x + 1.0 - a;
    double c = 1.0 / kFpMin;
    double d = 1.0 / b;
    double h = d;
    for (int i = 1;; ++i) {
        if (i > kMaxTerms) {
            throw NumericalError("Incomplete gamma continued fraction did not converge");
        }
        const double an = -i * (i - a);
        b += 2.0;
        d = an * d + b;
        if (std::fabs(d) < kFpMin) {
            d = kFpMin;
        }
        c = b + an / c;
        if (std::fabs(c) < kFpMin) {
            c = kFpMin;
        }
        d = 1.0 / d;
        const double del = d * c;
        h *= del;
        if (std::fabs(del - 1.0) <= kEpsilon) {
            break;
        }
    }
    return std::exp(-x + a * std::log(x) - lastLogGamma) * h;
}

double IncGamma::gammpQuadrature(double a, double x)
{
    checkGammpArguments(a, x);
    const double a1 = a - 1.0;
    const double lna1 = std::log(a1);
    const double sa = std::sqrt(a1);
    lastLogGamma = gammln(a);
    // Integrate from x towards the far side of the peak at a1, far enough that the rest is negligible.
    double xu;
    if (x > a1) {
        xu = std::max(a1 + 11.5 * sa, x + 6.0 * sa);
    } else {
        xu = std::max(0.0, std::min(a1 - 7.5 * sa, x - 5.0 * sa));
    }
    double sum = 0.0;
    for (int j = 0; j < kQuadraturePoints; ++j) {
        const double t = x + (xu - x) * kQuadratureY[j];
        sum += kQuadratureW[j] * std::exp(-(t - a1) + a1 * (std::log(t) - lna1));
    }
    const double ans = sum * (xu - x) * std::exp(a1 * (lna1 - 1.0) - lastLogGamma);
    // Above the peak the integral is the upper tail Q, below it the (negated) lower tail P. Tell the two
    // apart by the side of the peak, not by the sign of ans: a far tail underflows to 0, and P(a, x) for
    // x far above a must come out as 1, not 0.
    return x > a1 ? 1.0 - ans : -ans;
}

double IncGamma::invgammap(double p, double a)
{
    if (!(a > 0.0)) {
        throw NumericalError("a must be pos in invgammap");
    }
    if (std::isnan(p)) {
        throw NumericalError("bad p in invgammap");
    }
    lastLogGamma = gammln(a);
    const double a1 = a - 1.0;
    if (p >= 1.0) {
        return std::max(100.0, a + 100.0 * std::sqrt(a));
    }
    if (p <= 0.0) {
        return 0.0;
    }

    double x;
    double lna1 = 0.0;
    double afac = 0.0;
    if (a > 1.0) {
        // Wilson-Hilferty cube around a rational approximation of the normal quantile.
        lna1 = std::log(a1);
        afac = std::exp(a1 * (lna1 - 1.0) - lastLogGamma);
        const double pp = p < 0.5 ? p : 1.0 - p;
        const double t = std::sqrt(-2.0 * std::log(pp));
        x = (2.30753 + t * 0.27061) / (1.0 + t * (0.99229 + t * 0.04481)) - t;
        if (p < 0.5) {
            x = -x;
        }
        x = std::max(1.0e-3, a * std::pow(1.0 - 1.0 / (9.0 * a) - x / (3.0 * std::sqrt(a)), 3));
    } else {
        const double t = 1.0 - a * (0.253 + a * 0.12);
        if (p < t) {
            x = std::pow(p / t, 1.0 / a);
        } else {
            x = 1.0 - std::log(1.0 - (p - t) / (1.0 - t));
        }
    }

    constexpr int kMaxSteps = 12;
    for (int j = 0; j < kMaxSteps; ++j) {
        if (x <= 0.0) {
            return 0.0;
        }
        const double err = gammp(a, x) - p;
        double t;
        if (a > 1.0) {
            t = afac * std::exp(-(x - a1) + a1 * (std::log(x) - lna1));
        } else {
            t = std::exp(-x + a1 * std::log(x) - lastLogGamma);
        }
        const double u = err / t;
        const double step = u / (1.0 - 0.5 * std::min(1.0, u * ((a - 1.0) / x - 1.0)));
        x -= step;
        if (x <= 0.0) {
            x = 0.5 * (x + step);
        }
        // A density that underflowed to zero sends the step to infinity; returning that iterate would
        // hand a NaN or an infinity to the grid builders as a quantile.
        if (!std::isfinite(x)) {
            throw NumericalError("Halley refinement failed in invgammap");
        }
        if (std::fabs(step) < 1.0e-8 * x) {
            break;
        }
    }
    return x;
}
