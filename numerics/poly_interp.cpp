#include "numerics/poly_interp.h"

#include <cmath>
#include <vector>

#include "numerics/numerical_error.h"

Poly_interp::Poly_interp(const double* xs_, const double* ys_, int count_, int window_)
    : Base_interp(xs_, ys_, count_, window_) {}

double Poly_interp::interpWindow(int start, double x) {
    if (window < 1 || start < 0 || start > count - window)
        throw NumericalError("Poly_interp window outside the table");
    const double* xa = xs + start;
    const double* ya = ys + start;
    std::vector<double> c(ya, ya + window);
    std::vector<double> d(ya, ya + window);

    // Start from the nearest point (the lower one on a tie) and walk the tableau towards it, so the
    // corrections added last are the smallest ones.
    int ns = 0;
    double dif = std::fabs(x - xa[0]);
    for (int i = 0; i < window; ++i) {
        const double dift = std::fabs(x - xa[i]);
        if (dift < dif) {
            ns = i;
            dif = dift;
        }
    }
    double y = ya[ns--];
    for (int m = 1; m < window; ++m) {
        for (int i = 0; i < window - m; ++i) {
            const double ho = xa[i] - x;
            const double hp = xa[i + m] - x;
            const double w = c[i + 1] - d[i];
            double den = ho - hp;
            if (den == 0.0)
                throw NumericalError("Poly_interp error");
            den = w / den;
            d[i] = hp * den;
            c[i] = ho * den;
        }
        const double dy = (2 * (ns + 1) < window - m) ? c[ns + 1] : d[ns--];
        errorEstimate = dy;
        y += dy;
    }
    return y;
}

Grid2D_interp::Grid2D_interp(const NumVector& x1, const NumVector& x2, const RowMatrix& values_,
                             int order1_, int order2_)
    : rows(x1.count),
      cols(x2.count),
      order1(order1_),
      order2(order2_),
      values(values_),
      work(x1.count),
      x1interp(x1.data, work.data, x1.count, order1_),
      // The second direction's ordinates are re-pointed to a table row before every use; until then
      // they point at the abscissae themselves.
      x2interp(x2.data, x2.data, x2.count, order2_) {}

double Grid2D_interp::interp(double x1, double x2) {
    // A window may reach row rows-1 and column cols-1. Checked here rather than at construction
    // because the table is borrowed and may be reshaped by its owner in between.
    if (values.rows < rows || values.cols < cols)
        throw NumericalError("Grid2D_interp table is smaller than its abscissae");
    const int i = x1interp.correlated ? x1interp.hunt(x1) : x1interp.locate(x1);
    const int j = x2interp.correlated ? x2interp.hunt(x2) : x2interp.locate(x2);
    for (int k = i; k < i + order1; ++k) {
        x2interp.ys = values.data[k];
        work.data[k] = x2interp.interpWindow(j, x2);
    }
    return x1interp.interpWindow(i, x1);
}
