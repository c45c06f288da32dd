#pragma once

// Early exercise on the spot grid: the projection of a level onto the payoff, with the one cell
// that holds the exercise boundary re-averaged, so that the kink of the value there does not cost
// the scheme its order.

#include "numerics/array.h"
#include "numerics/row_matrix.h"

class SchemeFrame;

// Re-averages the cell of the spot node nearest to x: `src` holds the value on the one side of
// x and `out` on the other (src above x when sourceAbove is set, below it otherwise); out at that
// node becomes the mean over its cell [m1, m2] (the midpoints to its neighbours) of src on src's
// part and of out on out's part. With `quadratic` src's part is integrated exactly over the
// parabola through src at the node and its two neighbours, otherwise the linear interpolant at
// the middle of the part is taken. `out`'s part is the linear interpolant of out between the two
// nodes beyond x on its side, at the middle of the part. Nothing changes when the cell or those
// nodes lie outside the first `n` nodes of `grid`.
void reworkStrikeCell(const Array<double>& grid, int n, Array<double>& out, const Array<double>& src,
                      double x, bool sourceAbove, bool quadratic);

// Projects one variance row of a level onto the payoff of an early-exercisable option: at the
// nodes 1 .. n - 1 on the exercise side of the strike (above it for a call, below for a put)
// where the payoff exceeds the value, the value becomes the payoff. The exercise point where the
// continuation line through the boundary nodes meets the payoff is then found and its cell
// re-averaged (reworkStrikeCell, quadratic). `row` holds n values at the n nodes of `grid`.
// Returns whether any node was projected.
bool projectOntoPayoff(const Array<double>& grid, int n, const Array<double>& payoff, double K,
                       bool put, double* row);

// Plain early exercise of a whole value table of the splitting schemes (row j + 1 holds variance
// node j, column i spot node i): every spot node 1 .. n - 1 of every variance row 0 .. Nv takes
// the larger of its value and the option's payoff there, on the frame's own (spot or log-spot)
// nodes.
void exerciseTable(const SchemeFrame& frame, RowMatrix& U);
