#include "numerics/spline_table.h"

#include <algorithm>
#include <cstddef>

#include "numerics/numerical_error.h"

namespace {

constexpr int kThomasSizeLimit = 30000;

// Integral of the cubic c0 + c1 u + c2 u^2 + c3 u^3 over [0, u].
double cubicIntegral(double c0, double c1, double c2, double c3, double u) {
    const double u2 = u * u;
    return c0 * u + c1 * u2 * 0.5 + c2 / 3.0 * u2 * u + c3 * 0.25 * u2 * u2;
}

}  // namespace

table_function::table_function(const Array<double>& x_, const Array<double>& y_, bool natural_)
    : x(x_),
      y(y_),
      c3(x_.size()),
      c2(x_.size()),
      c1(x_.size()),
      c0(x_.size()),
      h(x_.size()),
      n(static_cast<int>(x_.size())),
      needsBuild(true),
      valid(true),
      natural(natural_) {
    if (y.size() != x.size() || n < 3)
        valid = false;
    for (int i = 0; i + 1 < n; ++i) {
        h[i] = x[i + 1] - x[i];
        // Written as a negated test so that a NaN step also marks the table invalid.
        if (!(h[i] > 0.0))
            valid = false;
    }
}

void table_function::thomasSolve(int m, const Array<double>& sub, const Array<double>& diag,
                                 const Array<double>& super, const Array<double>& rhs,
                                 Array<double>& out) {
    if (m >= kThomasSizeLimit)
        throw NumericalError("Requested array in Thomas algorihm is too large");
    if (m < 1)
        return;
    const std::size_t rowsNeeded = static_cast<std::size_t>(m);
    if (sub.size() < rowsNeeded || diag.size() < rowsNeeded || rhs.size() < rowsNeeded ||
        (m > 1 && super.size() < rowsNeeded - 1) || out.size() < rowsNeeded + 1)
        throw NumericalError("Thomas algorithm arrays are shorter than the system");

    Array<double> g(rowsNeeded);
    Array<double> r(rowsNeeded);
    g[0] = diag[0];
    r[0] = rhs[0] / g[0];
    for (int j = 1; j < m; ++j) {
        g[j] = diag[j] - sub[j] * super[j - 1] / g[j - 1];
        r[j] = (rhs[j] - sub[j] * r[j - 1]) / g[j];
    }
    out[m] = r[m - 1];
    for (int j = m - 2; j >= 0; --j)
        out[j + 1] = r[j] - (super[j] / g[j]) * out[j + 2];
}

void table_function::buildSpline() {
    // M[i] is the spline's second derivative at x[i]; one equation per interior node.
    const std::size_t size = static_cast<std::size_t>(n);
    Array<double> d(size), sub(size), diag(size), super(size), rhs(size), M(size);
    for (int i = 0; i + 1 < n; ++i)
        d[i] = y[i + 1] - y[i];

    const int m = n - 2;
    for (int k = 0; k < m; ++k) {
        sub[k] = h[k];
        diag[k] = 2.0 * (h[k] + h[k + 1]);
        super[k] = h[k + 1];
        rhs[k] = 6.0 * (d[k + 1] / h[k + 1] - d[k] / h[k]);
    }
    if (!natural) {
        // Not-a-knot: the end second derivatives are eliminated from the first and last rows.
        diag[0] += (h[0] + h[1]) * h[0] / h[1];
        super[0] -= h[0] * h[0] / h[1];
        diag[m - 1] += (h[n - 2] + h[n - 3]) * h[n - 2] / h[n - 3];
        sub[m - 1] -= h[n - 2] * h[n - 2] / h[n - 3];
    }

    thomasSolve(m, sub, diag, super, rhs, M);

    if (natural) {
        M[0] = 0.0;
        M[n - 1] = 0.0;
    } else {
        // Third derivative continuous across x[1] and across x[n-2].
        M[0] = ((h[0] + h[1]) / h[1]) * M[1] - (h[0] / h[1]) * M[2];
        M[n - 1] = ((h[n - 2] + h[n - 3]) / h[n - 3]) * M[n - 2] - (h[n - 2] / h[n - 3]) * M[n - 3];
    }

    for (int i = 0; i + 1 < n; ++i) {
        c3[i] = (M[i + 1] - M[i]) / (6.0 * h[i]);
        c2[i] = M[i] * 0.5;
        c1[i] = d[i] / h[i] - (2.0 * h[i] * M[i] + h[i] * M[i + 1]) / 6.0;
        c0[i] = y[i];
    }
    needsBuild = false;
}

double table_function::integralAll(bool exact) {
    if (!valid)
        return errorValue;
    if (exact) {
        if (needsBuild)
            buildSpline();
        double sum = 0.0;
        for (int i = 0; i + 1 < n; ++i)
            sum += c3[i] * 0.25 * h[i] * h[i] * h[i] * h[i] + c2[i] / 3.0 * h[i] * h[i] * h[i] +
                   c1[i] * 0.5 * h[i] * h[i] + h[i] * c0[i];
        return sum;
    }
    const int m = n - 1;
    const int half = m / 2;
    if (static_cast<double>(m) * 0.5 - static_cast<double>(half) != 0.0)
        return errorValue;
    const double w = x[1] - x[0];
    double s = y[0];
    for (int k = 1; k <= half; ++k)
        s += 4.0 * y[2 * k - 1] + 2.0 * y[2 * k];
    return (s - y[m]) * w / 3.0;
}

double table_function::integralBetween(double a, double b) {
    if (!valid)
        return errorValue;
    // Negated tests so that a NaN limit counts as outside the table.
    const double lo = x[0];
    const double hi = x[n - 1];
    if (!(a >= lo && a <= hi && b >= lo && b <= hi))
        return outOfRangeValue;
    if (a > b)
        return errorValue;
    // The first interval alone is deliberately the trapezoid over its end samples, taken without
    // building the spline.
    if (a == x[0] && b == x[1])
        return (y[1] + y[0]) * 0.5 * (b - a);
    if (needsBuild)
        buildSpline();

    // Interval of a limit: the smallest k >= 1 with limit <= x[k], minus one, so a limit on node x[k]
    // is the top of interval k-1.
    const double* first = &x[0];
    const double* last = first + n;
    const int i = static_cast<int>(std::lower_bound(first + 1, last, a) - first) - 1;
    const int j = static_cast<int>(std::lower_bound(first + 1, last, b) - first) - 1;
    const double ua = a - x[i];
    const double ub = b - x[j];

    if (i == j)
        return cubicIntegral(c0[i], c1[i], c2[i], c3[i], ub) -
               cubicIntegral(c0[i], c1[i], c2[i], c3[i], ua);

    const double hi4 = h[i] * h[i] * h[i] * h[i];
    const double ua2 = ua * ua;
    double sum = c3[i] * 0.25 * (hi4 - ua2 * ua2) + c2[i] / 3.0 * (h[i] * h[i] * h[i] - ua2 * ua) +
                 c1[i] * 0.5 * (h[i] * h[i] - ua2) + (h[i] - ua) * c0[i];
    for (int k = i + 1; k < j; ++k)
        sum += cubicIntegral(c0[k], c1[k], c2[k], c3[k], h[k]);
    sum += cubicIntegral(c0[j], c1[j], c2[j], c3[j], ub);
    return sum;
}
