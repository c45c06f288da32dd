#pragma once

// The whole two-dimensional operator of a splitting solve as one sparse matrix, for the steps
// that treat it fully implicitly. The matrix is read off the operator's own explicit evaluation
// (applied to probe tables), so the implicit steps solve exactly the equation that the splitting
// stages step: same variance law, same stencils, same boundary rows.
//
// Unknowns are spot nodes 1 .. n - 1 of variance rows 0 .. Nv - 1, index j (n - 1) + i - 1. The
// lowest spot column and the top slope enter as known terms.

#include "numerics/row_matrix.h"
#include "schemes/sparse_lu.h"
#include "schemes/spot_adi_operator.h"

#include <Eigen/Core>

#include <vector>

class SparseImplicitEuler {
public:
    // extrapolatedZeroRow: the operator steps no v = 0 row, which is taken as 3 u1 - 3 u2 + u3.
    SparseImplicitEuler(const SpotAdiOperator& op, bool extrapolatedZeroRow);

    // Factorises I - h A (h > 0). The sparse LU checks its status: a failure throws.
    void factor(double h);

    // One implicit Euler step of the factorised size: U at the unknowns moves to the new level,
    // with `lower` on the lowest column and the top slope df at that level. U's lowest column,
    // ghost column and row Nv are closed as the splitting stages close them.
    void step(RowMatrix& U, double lower, double df);

    int unknowns() const { return N_; }
    // The triplets of the last factorised matrix (for checks).
    const std::vector<SparseLuSolver::Triplet>& triplets() const { return triplets_; }

private:
    int index(int i, int j) const { return j * (n_ - 1) + i - 1; }

    const SpotAdiOperator& op_;
    bool extrapolated_;
    int n_;
    int Nv_;
    int N_;
    double h_ = 0.0;
    std::vector<SparseLuSolver::Triplet> triplets_;
    SparseLuSolver lu_;
    RowMatrix probe_;
    RowMatrix image_;
    Eigen::VectorXd rhs_;
    Eigen::VectorXd x_;
};
