#pragma once

#include "numerics/array.h"

// Cubic-spline table through (x[i], y[i]), i = 0..n-1, with strictly increasing abscissae, and its
// integrals. The spline is built lazily by the first integral that needs it and never changes after,
// so a table must be built (one exact integral) before it is shared between threads.
//
// On interval i (u = t - x[i]) the spline is c0[i] + c1[i] u + c2[i] u^2 + c3[i] u^3.
class table_function {
public:
    static constexpr double errorValue = -999.0;       // reversed range, odd Simpson count, bad table
    static constexpr double outOfRangeValue = -998.0;  // a limit outside [x[0], x[n-1]] (or NaN)

    Array<double> x;
    Array<double> y;
    Array<double> c3;
    Array<double> c2;
    Array<double> c1;
    Array<double> c0;
    Array<double> h;  // h[i] = x[i+1] - x[i]
    int n;
    bool needsBuild;
    // False when y and x differ in size, n < 3, or a step is not positive; every integral of such a
    // table returns errorValue.
    bool valid;
    bool natural;  // natural ends (zero second derivative) or not-a-knot ends

    table_function(const Array<double>& x, const Array<double>& y, bool natural);
    virtual ~table_function() = default;

    // Spline coefficients from x, y, h and the end condition; clears needsBuild. On a throw the table
    // is left as it was.
    void buildSpline();

    // Solves the m x m tridiagonal system with rows j: sub[j] (j >= 1), diag[j], super[j] (j <= m-2),
    // rhs[j], writing the solution to out[1..m] (one place right of its row). No pivoting. Throws
    // NumericalError "Requested array in Thomas algorihm is too large" for m >= 30000.
    static void thomasSolve(int m, const Array<double>& sub, const Array<double>& diag,
                            const Array<double>& super, const Array<double>& rhs, Array<double>& out);

    // Integral over [x[0], x[n-1]]: of the spline (exact) or composite Simpson on the samples taken as
    // equally spaced with the first step (errorValue for an odd number of intervals).
    double integralAll(bool exact);

    // Integral of the spline over [a, b]; outOfRangeValue for a limit outside the table, then
    // errorValue for a > b. [x[0], x[1]] exactly is the trapezoid over the first interval.
    double integralBetween(double a, double b);
};
