#pragma once

#include "numerics/numerical_error.h"

#include <cmath>

// The option an implied-volatility search prices against. The caller owns it for the search.
struct ImpliedVolTarget {
    double S;      // spot
    double K;      // strike
    double T;      // expiry in years
    double r;      // continuous interest rate
    double d;      // continuous dividend yield
    double price;  // target price
    int callPut;   // 0 call, any other value put
};

// The volatility in [x1, x2] at which the Black-Scholes price of the target equals its price, by
// Brent's method (tol is the absolute tolerance on top of full double precision). A non-positive
// volatility prices as an exact match. Throws NumericalError "Root must be bracketed in Brent solver"
// when the prices at x1 and x2 do not enclose the target (also when either is not a finite number),
// and "Maximum number of iterations exceeded in Brent solver" after 1000 iterations.
double brentImpliedVol(const ImpliedVolTarget* target, double x1, double x2, double tol);

// Brent's root search (inverse quadratic interpolation, secant and bisection) of f on [x1, x2],
// shared by the searches of the toolkit that need it. f is evaluated once at each end and once per
// iteration. Failures throw NumericalError with the texts given for brentImpliedVol; an objective
// that turns non-finite inside the bracket throws "Non-finite function value in Brent solver".
template <class Function>
double brentRoot(Function f, double x1, double x2, double tol)
{
    constexpr int kMaxIterations = 1000;
    constexpr double kEpsilon = 2.220446049250313e-16;

    double a = x1;
    double b = x2;
    double c = x2;
    double fa = f(a);
    double fb = f(b);
    // A NaN end value compares neither above nor below zero and would pass as a bracket: the search
    // would then return x2 as the root of a function it could not evaluate.
    if (!std::isfinite(fa) || !std::isfinite(fb) || (fa > 0.0 && fb > 0.0) || (fa < 0.0 && fb < 0.0)) {
        throw NumericalError("Root must be bracketed in Brent solver");
    }
    double fc = fb;
    double dStep = 0.0;
    double eStep = 0.0;
    for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
        if ((fb > 0.0 && fc > 0.0) || (fb < 0.0 && fc < 0.0)) {
            c = a;
            fc = fa;
            dStep = eStep = b - a;
        }
        if (std::fabs(fc) < std::fabs(fb)) {
            a = b;
            b = c;
            c = a;
            fa = fb;
            fb = fc;
            fc = fa;
        }
        const double tol1 = 2.0 * kEpsilon * std::fabs(b) + 0.5 * tol;
        const double xm = 0.5 * (c - b);
        if (std::fabs(xm) <= tol1 || fb == 0.0) {
            return b;
        }
        if (std::fabs(eStep) >= tol1 && std::fabs(fa) > std::fabs(fb)) {
            const double u = fb / fa;
            double p;
            double q;
            if (a == c) {
                p = 2.0 * xm * u;
                q = 1.0 - u;
            } else {
                q = fa / fc;
                const double w = fb / fc;
                p = u * (2.0 * xm * q * (q - w) - (b - a) * (w - 1.0));
                q = (q - 1.0) * (w - 1.0) * (u - 1.0);
            }
            if (p > 0.0) {
                q = -q;
            }
            p = std::fabs(p);
            const double min1 = 3.0 * xm * q - std::fabs(tol1 * q);
            const double min2 = std::fabs(eStep * q);
            if (2.0 * p < (min1 < min2 ? min1 : min2)) {
                eStep = dStep;
                dStep = p / q;
            } else {
                dStep = xm;
                eStep = dStep;
            }
        } else {
            dStep = xm;
            eStep = dStep;
        }
        a = b;
        fa = fb;
        if (std::fabs(dStep) > tol1) {
            b += dStep;
        } else {
            b += xm >= 0.0 ? tol1 : -tol1;
        }
        fb = f(b);
        if (!std::isfinite(fb)) {
            throw NumericalError("Non-finite function value in Brent solver");
        }
    }
    throw NumericalError("Maximum number of iterations exceeded in Brent solver");
}
