#pragma once

#include "numerics/array.h"

// Tridiagonal rows of one Fokker-Planck time step on a uniform grid, shared by the three variance
// dynamics of PDESolver1D. The forward operator is (A p)_i = D_i p'' + C_i p' + E_i p and a row reads
//     sub[i] p_{i-1} + diag[i] p_i + super[i] p_{i+1} = rhs_i,   that is   (s dt A - I) p_new = rhs.
namespace fokker_planck_rows {

// Step weight s of a step kind: 1 for an implicit step (0), 1/2 for a Crank-Nicolson step (1).
// Throws NumericalError for any other kind.
double stepWeight(int stepKind);

// Rows 1 .. n-2 (n = D.size()) with grid step dx: central differences, or the upwind first
// difference where C_i / D_i < -100 (drift towards higher variance that central weights would turn
// into negative off-diagonals).
void fillInteriorRows(const Array<double>& D, const Array<double>& C, const Array<double>& E, double dx, double dt,
                      int stepKind, Array<double>& sub, Array<double>& diag, Array<double>& super);

// Folds the top node into row n-2: mode 1 reflects about node n-2 (super[n-2] stays for the stepper
// to take out), mode 2 extrapolates linearly through the two nodes below; other modes fold nothing.
void foldUpperBoundary(int boundaryMode, const Array<double>& grid, Array<double>& sub, Array<double>& diag,
                       Array<double>& super);

}  // namespace fokker_planck_rows
