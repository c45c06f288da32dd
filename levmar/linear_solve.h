#pragma once

// Solves of the damped normal equations (J^T J + mu I) Dp = J^T e, and the covariance of the fit.
// The 64-bit and native builds factorise with LAPACK's Bunch-Kaufman routines; the 32-bit Windows
// build (SARNEX_LEVMAR_OWN_LU) uses the LU below, which needs no LAPACK. The two builds differ
// only here. Each solver owns its scratch storage, so one solver serves a whole run without
// allocating per solve and two runs never share anything.

#include <vector>

// Symmetric indefinite factorisation (LAPACK dsytrf/dsytrs).
class BunchKaufmanSolver {
public:
    explicit BunchKaufmanSolver(int m);
    // Solves A x = b for the symmetric m x m matrix A (all m^2 entries given); A and b are left
    // as they are. False when A is singular or the solution is not finite.
    bool solve(const double* A, const double* b, double* x);

private:
    int m_;
    std::vector<double> factor_;
    std::vector<int> pivots_;
    std::vector<double> work_;
};

// Gaussian elimination with implicit row scaling and partial pivoting.
class LuSolver {
public:
    explicit LuSolver(int m);
    // As BunchKaufmanSolver::solve for any square A (row by row).
    bool solve(const double* A, const double* b, double* x);
    // A^-1 into inverse; false when A is singular.
    bool invert(const double* A, double* inverse);

private:
    bool factorise(const double* A);
    void substitute(double* x) const;

    int m_;
    std::vector<double> lu_;
    std::vector<double> rowScale_;
    std::vector<int> permutation_;
};

#ifdef SARNEX_LEVMAR_OWN_LU
using NormalEquationSolver = LuSolver;
#else
using NormalEquationSolver = BunchKaufmanSolver;
#endif

// Covariance of the fitted parameters from J^T J (m x m): its pseudo-inverse (SVD) scaled by
// sumOfSquares / (n - rank), or in the LU build its inverse scaled by sumOfSquares / (n - m).
// Returns the rank used; 0 leaves covar unwritten.
int levmarCovariance(const double* JtJ, double* covar, double sumOfSquares, int m, int n);
int levmarCovarianceSvd(const double* JtJ, double* covar, double sumOfSquares, int m, int n);
int levmarCovarianceLu(const double* JtJ, double* covar, double sumOfSquares, int m, int n);
