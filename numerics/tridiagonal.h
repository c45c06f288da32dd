#pragma once

#include "numerics/array.h"

// Thomas algorithm for tridiagonal systems, split so that a matrix used with many right-hand sides
// is factorised once. Vectors are indexed from 1: element 0 is neither read nor written and every
// vector holds at least n + 1 elements. Equation i reads
//     sub[i] * x[i-1] + diag[i] * x[i] + super[i] * x[i+1] = rhs[i],
// with sub[1] and super[n] unused. There is no pivoting and no test of the pivots: a zero pivot
// gives infinities or NaNs in the solution, without an error.
//
// A negative order, or a vector shorter than n + 1 elements, throws NumericalError naming the vector;
// order 0 is an empty system and leaves every vector as it is.

// LU factors of the matrix of order n: mult[2..n] (elimination multipliers), superCopy[1..n-1] (upper
// diagonal of U) and pivot[1..n] (diagonal of U). The output vectors are not resized.
void tridiagFactor(int n, const Array<double>& sub, const Array<double>& diag, const Array<double>& super,
                   Array<double>& mult, Array<double>& superCopy, Array<double>& pivot);

// Solves with the factors of tridiagFactor for one right-hand side, writing x[1..n]. x may be the
// same vector as rhs.
void tridiagSolve(int n, const Array<double>& mult, const Array<double>& superCopy, const Array<double>& pivot,
                  const Array<double>& rhs, Array<double>& x);
