#pragma once

// Sparse LU solves of the implicit steps: a square matrix built from triplets and factorised by
// UMFPACK through Eigen. The schemes rebuild the matrix on every change of step size or order
// with an unchanged pattern, so the symbolic analysis is kept and only the numeric factorisation
// is redone. Every factorisation and every solve is checked: a failure throws NumericalError
// (or std::bad_alloc when UMFPACK runs out of memory), so that a robust solve can retry instead
// of stepping on with garbage.

#include <Eigen/Core>
#include <Eigen/SparseCore>
#include <Eigen/UmfPackSupport>

#include <vector>

class SparseLuSolver {
public:
    using Matrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;
    using Triplet = Eigen::Triplet<double>;

    // A solver for systems of `order` unknowns (order >= 1).
    explicit SparseLuSolver(int order);

    SparseLuSolver(const SparseLuSolver&) = delete;
    SparseLuSolver& operator=(const SparseLuSolver&) = delete;

    // Builds the matrix from the triplets (repeated entries are summed) and factorises it. The
    // pattern is analysed on the first call and again only when it differs from the analysed one.
    // Throws NumericalError for an entry outside the matrix, a non-finite value, a failed
    // analysis or a singular matrix; the previous factorisation is then no longer usable.
    void factorize(const std::vector<Triplet>& triplets);

    // x := A^-1 b with the current factorisation. b and x are distinct plain vectors of `order`
    // entries (x is resized). Throws NumericalError when there is no factorisation, the sizes
    // differ, or the solve fails or yields non-finite values.
    void solve(const Eigen::VectorXd& b, Eigen::VectorXd& x);

    int order() const { return order_; }
    int patternAnalyses() const { return analyses_; }
    int factorizations() const { return factorizations_; }

private:
    bool patternChanged() const;

    int order_;
    // The matrix is declared before the solver: the solver refers to it and must go first.
    Matrix matrix_;
    std::vector<int> analysedOuter_;
    std::vector<int> analysedInner_;
    Eigen::UmfPackLU<Matrix> lu_;
    bool analysed_ = false;
    bool factorized_ = false;
    int analyses_ = 0;
    int factorizations_ = 0;
};
