#pragma once

#include "numerics/bracket_search.h"
#include "numerics/num_vector.h"
#include "numerics/row_matrix.h"

// Polynomial interpolation through `window` consecutive tabulated points (Neville's algorithm).
class Poly_interp : public Base_interp {
public:
    double errorEstimate = 0.0;  // last correction added by the last evaluation

    // Borrows xs and ys (count entries each; ys may be re-pointed later).
    Poly_interp(const double* xs, const double* ys, int count, int window);

    // Throws NumericalError "Poly_interp error" when two abscissae of the window coincide, and a clear
    // message when the window does not lie inside the table.
    double interpWindow(int start, double x) override;
};

// Product-form polynomial interpolation on a rectangular grid: along the second direction in each of
// `order1` rows around x1, then once along the first direction through those row results. The
// abscissae and the table are borrowed and must outlive the interpolator; row k of `values` belongs to
// first-direction abscissa k and column l to second-direction abscissa l.
class Grid2D_interp {
public:
    int rows;
    int cols;
    int order1;
    int order2;
    const RowMatrix& values;
    NumVector work;         // row results of one evaluation, one slot per first-direction abscissa
    Poly_interp x1interp;   // over the first abscissae, reading `work`
    Poly_interp x2interp;   // over the second abscissae, reading one row of `values` at a time

    Grid2D_interp(const NumVector& x1, const NumVector& x2, const RowMatrix& values, int order1,
                  int order2);
    // x1interp reads this object's own `work`: a copy would read the original's.
    Grid2D_interp(const Grid2D_interp&) = delete;
    Grid2D_interp& operator=(const Grid2D_interp&) = delete;

    // Table value at (x1, x2). Each direction hunts from its previous bracket while lookups stay
    // close together and bisects otherwise. Throws what the searches and Neville's scheme throw, and
    // NumericalError when `values` has fewer rows or columns than there are abscissae.
    double interp(double x1, double x2);
};
