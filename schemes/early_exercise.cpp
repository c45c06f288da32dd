#include "schemes/early_exercise.h"

#include "schemes/scheme_frame.h"

#include <algorithm>
#include <cmath>

namespace {

// Value at t of the line through (grid[a], f[a]) and (grid[b], f[b]).
double linearAt(const Array<double>& grid, const Array<double>& f, int a, int b, double t)
{
    return f[a] + (f[b] - f[a]) * (t - grid[a]) / (grid[b] - grid[a]);
}

// Integral over [lo, hi] of the parabola through (grid[j + k], f[j + k]), k = -1, 0, 1, in the
// variable s - grid[j] so that the coefficients stay well scaled far from the origin.
double parabolaIntegral(const Array<double>& grid, const Array<double>& f, int j, double lo,
                        double hi)
{
    const double hm = grid[j] - grid[j - 1];
    const double hp = grid[j + 1] - grid[j];
    const double c = f[j];
    const double dm = (f[j] - f[j - 1]) / hm;
    const double dp = (f[j + 1] - f[j]) / hp;
    const double a = (dp - dm) / (hm + hp);
    const double b = dp - a * hp;  // slope at grid[j]
    auto primitive = [&](double s) {
        const double t = s - grid[j];
        return a * t * t * t / 3.0 + b * t * t / 2.0 + c * t;
    };
    return primitive(hi) - primitive(lo);
}

}  // namespace

void reworkStrikeCell(const Array<double>& grid, int n, Array<double>& out, const Array<double>& src,
                      double x, bool sourceAbove, bool quadratic)
{
    int k = 0;
    while (k < n && !(grid[k] > x))
        ++k;
    if (k == 0 || k == n)
        return;
    const int j = x > 0.5 * (grid[k - 1] + grid[k]) ? k : k - 1;
    if (j - 1 < 0 || j + 1 > n - 1)
        return;
    if (sourceAbove ? k - 2 < 0 : k + 1 > n - 1)
        return;
    const double m1 = 0.5 * (grid[j - 1] + grid[j]);
    const double m2 = 0.5 * (grid[j] + grid[j + 1]);

    double integral = 0.0;
    if (sourceAbove) {
        integral += quadratic ? parabolaIntegral(grid, src, j, x, m2)
                              : (m2 - x) * linearAt(grid, src, j, j + 1, 0.5 * (x + m2));
        integral += (x - m1) * linearAt(grid, out, k - 2, k - 1, 0.5 * (m1 + x));
    } else {
        integral += quadratic ? parabolaIntegral(grid, src, j, m1, x)
                              : (x - m1) * linearAt(grid, src, j - 1, j, 0.5 * (m1 + x));
        integral += (m2 - x) * linearAt(grid, out, k, k + 1, 0.5 * (x + m2));
    }
    out[j] = integral / (m2 - m1);
}

bool projectOntoPayoff(const Array<double>& grid, int n, const Array<double>& payoff, double K,
                       bool put, double* row)
{
    Array<double> continuation(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        continuation[i] = row[i];
    Array<double> projected = continuation;

    // The boundary node: the first exercised node above the strike for a call, the last one
    // below it for a put.
    int b = -1;
    for (int i = 1; i < n; ++i) {
        const bool exerciseSide = put ? grid[i] < K : grid[i] > K;
        if (exerciseSide && payoff[i] > row[i]) {
            projected[i] = payoff[i];
            if (put || b < 0)
                b = i;
        }
    }
    if (b < 0)
        return false;

    // Where the continuation line across the boundary meets the payoff. A line parallel to the
    // payoff, or a crossing outside the grid's inner cells, leaves the cell as projected.
    double x = NAN;
    if (!put) {
        const double s = (continuation[b] - projected[b - 1]) / (grid[b] - grid[b - 1]);
        x = (projected[b - 1] + K - s * grid[b - 1]) / (1.0 - s);
    } else if (b + 1 < n) {
        const double s = (projected[b + 1] - continuation[b]) / (grid[b + 1] - grid[b]);
        x = (K - continuation[b] + s * grid[b]) / (1.0 + s);
    }
    if (std::isfinite(x) && x > grid[1] && x < grid[n - 2])
        reworkStrikeCell(grid, n, projected, continuation, x, put, true);

    for (int i = 0; i < n; ++i)
        row[i] = projected[i];
    return true;
}

void exerciseTable(const SchemeFrame& frame, RowMatrix& U)
{
    const Array<double>& payoff = frame.option.payoff;
    for (int j = 0; j <= frame.Nv; ++j) {
        double* row = U.data[j + 1];
        for (int i = 1; i < frame.n; ++i)
            row[i] = std::max(row[i], payoff[i]);
    }
}
