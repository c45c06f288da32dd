#include "schemes/sparse_lu.h"

#include "numerics/numerical_error.h"
#include "platform/platform.h"

#include <cmath>
#include <new>
#include <string>

// A routine of the BLAS that UMFPACK calls: it tells the platform which library to keep
// single-threaded. Only its address is taken.
extern "C" void dgemm_();

namespace {

// The factorisations and solves run inside the parallel pricing loops, one system per thread; a
// threaded BLAS under them (OpenBLAS starts one thread per core for every call unless told
// otherwise) only multiplies the CPU time. Set once, before the first factorisation of the process,
// whatever the host's environment says.
void keepBlasSingleThreadedOnce()
{
    static const bool kept =
        (platform::keepBlasSingleThreaded(reinterpret_cast<const void*>(&dgemm_)), true);
    (void)kept;
}

std::string withStatus(const char* text, int status)
{
    return std::string(text) + " (UMFPACK status " + std::to_string(status) + ")";
}

}  // namespace

SparseLuSolver::SparseLuSolver(int order) : order_(order)
{
    if (order < 1)
        throw NumericalError("Sparse LU: the system has no unknowns");
    keepBlasSingleThreadedOnce();
    matrix_.resize(order, order);
    // The step matrices are well conditioned: one substitution per solve, no iterative
    // refinement, which would triple the cost of every step.
    lu_.umfpackControl()(UMFPACK_IRSTEP) = 0.0;
}

bool SparseLuSolver::patternChanged() const
{
    const int outerCount = matrix_.outerSize() + 1;
    const int nonZeros = static_cast<int>(matrix_.nonZeros());
    if (static_cast<int>(analysedOuter_.size()) != outerCount ||
        static_cast<int>(analysedInner_.size()) != nonZeros)
        return true;
    const int* outer = matrix_.outerIndexPtr();
    const int* inner = matrix_.innerIndexPtr();
    for (int k = 0; k < outerCount; ++k)
        if (outer[k] != analysedOuter_[static_cast<std::size_t>(k)])
            return true;
    for (int k = 0; k < nonZeros; ++k)
        if (inner[k] != analysedInner_[static_cast<std::size_t>(k)])
            return true;
    return false;
}

void SparseLuSolver::factorize(const std::vector<Triplet>& triplets)
{
    factorized_ = false;
    for (const Triplet& t : triplets) {
        if (t.row() < 0 || t.row() >= order_ || t.col() < 0 || t.col() >= order_)
            throw NumericalError("Sparse LU: a matrix entry lies outside the system");
        if (!std::isfinite(t.value()))
            throw NumericalError("Sparse LU: the matrix holds a non-finite value");
    }
    matrix_.setZero();
    matrix_.setFromTriplets(triplets.begin(), triplets.end());
    matrix_.makeCompressed();

    if (!analysed_ || patternChanged()) {
        analysed_ = false;
        lu_.analyzePattern(matrix_);
        ++analyses_;
        if (lu_.info() != Eigen::Success)
            throw NumericalError(withStatus("Sparse LU: the pattern analysis failed",
                                            lu_.umfpackFactorizeReturncode()));
        const int outerCount = matrix_.outerSize() + 1;
        const int nonZeros = static_cast<int>(matrix_.nonZeros());
        analysedOuter_.assign(matrix_.outerIndexPtr(), matrix_.outerIndexPtr() + outerCount);
        analysedInner_.assign(matrix_.innerIndexPtr(), matrix_.innerIndexPtr() + nonZeros);
        analysed_ = true;
    }

    lu_.factorize(matrix_);
    ++factorizations_;
    if (lu_.info() != Eigen::Success) {
        const int status = lu_.umfpackFactorizeReturncode();
        if (status == UMFPACK_ERROR_out_of_memory)
            throw std::bad_alloc();
        if (status == UMFPACK_WARNING_singular_matrix)
            throw NumericalError(withStatus("Sparse LU: the matrix is singular", status));
        throw NumericalError(withStatus("Sparse LU: the factorisation failed", status));
    }
    factorized_ = true;
}

void SparseLuSolver::solve(const Eigen::VectorXd& b, Eigen::VectorXd& x)
{
    if (!factorized_)
        throw NumericalError("Sparse LU: solve without a valid factorisation");
    if (b.size() != order_)
        throw NumericalError("Sparse LU: the right-hand side does not match the system");
    if (&b == &x)
        throw NumericalError("Sparse LU: the solution must not overwrite the right-hand side");
    x.resize(order_);
    // Straight into UMFPACK with two plain vectors: the solve status is then visible, and no
    // expression is evaluated into the solver's operands.
    if (!lu_._solve_impl(b, x))
        throw NumericalError("Sparse LU: the solve failed");
    if (!x.allFinite())
        throw NumericalError("Sparse LU: the solve gave non-finite values");
}
