// The sparse LU wrapper: correct solves, one pattern analysis for many factorisations of one
// pattern, and failures that throw instead of returning garbage.

#include "schemes/sparse_lu.h"

#include "numerics/numerical_error.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

#include <cmath>
#include <limits>
#include <vector>

namespace {

using Triplet = SparseLuSolver::Triplet;

// gamma I - omega * (five-point Laplacian with a drift) on an n x n grid: the shape of an
// implicit step, non-symmetric, diagonally dominant.
std::vector<Triplet> stepMatrix(int n, double gamma, double omega)
{
    std::vector<Triplet> t;
    auto index = [n](int i, int j) { return j * n + i; };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int row = index(i, j);
            t.emplace_back(row, row, gamma + 4.0 * omega);
            if (i > 0) t.emplace_back(row, index(i - 1, j), -1.3 * omega);
            if (i + 1 < n) t.emplace_back(row, index(i + 1, j), -0.7 * omega);
            if (j > 0) t.emplace_back(row, index(i, j - 1), -omega);
            if (j + 1 < n) t.emplace_back(row, index(i, j + 1), -omega);
        }
    return t;
}

Eigen::VectorXd multiply(const std::vector<Triplet>& t, const Eigen::VectorXd& x)
{
    Eigen::VectorXd y = Eigen::VectorXd::Zero(x.size());
    for (const Triplet& e : t)
        y[e.row()] += e.value() * x[e.col()];
    return y;
}

Eigen::VectorXd knownSolution(int size)
{
    Eigen::VectorXd x(size);
    for (int k = 0; k < size; ++k)
        x[k] = std::sin(0.37 * k) + 0.01 * k;
    return x;
}

TEST(SparseLu, SolvesAndRefactorisesOnOnePatternAnalysis)
{
    const int n = 12;
    SparseLuSolver lu(n * n);
    const Eigen::VectorXd xTrue = knownSolution(n * n);
    Eigen::VectorXd x;
    // The four step matrices of a multi-level start-up: one analysis, four factorisations.
    const double gammas[] = {1.0, 1.0, 1.5, 11.0 / 6.0};
    const double omegas[] = {0.025, 0.05, 0.1, 0.1};
    for (int k = 0; k < 4; ++k) {
        const std::vector<Triplet> t = stepMatrix(n, gammas[k], omegas[k]);
        lu.factorize(t);
        const Eigen::VectorXd b = multiply(t, xTrue);
        lu.solve(b, x);
        EXPECT_LT((x - xTrue).cwiseAbs().maxCoeff(), 1e-12) << "matrix " << k;
    }
    EXPECT_EQ(lu.patternAnalyses(), 1);
    EXPECT_EQ(lu.factorizations(), 4);
}

TEST(SparseLu, SumsRepeatedEntriesAndKeepsExplicitZeros)
{
    // [[2, 1], [0, 3]] given as 1 + 1 on the (0, 0) entry and an explicit zero at (1, 0).
    SparseLuSolver lu(2);
    lu.factorize({Triplet(0, 0, 1.0), Triplet(0, 0, 1.0), Triplet(0, 1, 1.0), Triplet(1, 0, 0.0),
                  Triplet(1, 1, 3.0)});
    Eigen::VectorXd b(2), x;
    b << 5.0, 6.0;
    lu.solve(b, x);
    EXPECT_NEAR(x[0], 1.5, 1e-15);
    EXPECT_NEAR(x[1], 2.0, 1e-15);
    // The explicit zero keeps the pattern, so a value there later needs no new analysis.
    lu.factorize({Triplet(0, 0, 2.0), Triplet(0, 1, 1.0), Triplet(1, 0, 1.0), Triplet(1, 1, 3.0)});
    lu.solve(b, x);
    EXPECT_NEAR(x[0], 9.0 / 5.0, 1e-15);
    EXPECT_NEAR(x[1], 7.0 / 5.0, 1e-15);
    EXPECT_EQ(lu.patternAnalyses(), 1);
}

TEST(SparseLu, ReanalysesWhenThePatternChanges)
{
    const int n = 6;
    SparseLuSolver lu(n * n);
    lu.factorize(stepMatrix(n, 1.0, 0.1));
    std::vector<Triplet> t = stepMatrix(n, 1.0, 0.1);
    t.emplace_back(0, n * n - 1, 0.05);  // a new non-zero far from the band
    lu.factorize(t);
    EXPECT_EQ(lu.patternAnalyses(), 2);
    const Eigen::VectorXd xTrue = knownSolution(n * n);
    Eigen::VectorXd x;
    lu.solve(multiply(t, xTrue), x);
    EXPECT_LT((x - xTrue).cwiseAbs().maxCoeff(), 1e-12);
}

TEST(SparseLu, SingularMatricesThrowAndLeaveNoFactorisation)
{
    SparseLuSolver lu(3);
    Eigen::VectorXd b = Eigen::VectorXd::Ones(3), x;
    // Numerically singular: two equal rows.
    EXPECT_THROW(lu.factorize({Triplet(0, 0, 1.0), Triplet(0, 1, 2.0), Triplet(1, 0, 1.0),
                               Triplet(1, 1, 2.0), Triplet(2, 2, 1.0)}),
                 NumericalError);
    EXPECT_THROW(lu.solve(b, x), NumericalError);
    // A good factorisation followed by a structurally singular one (an empty column): the solve
    // must not fall back on the earlier factors.
    lu.factorize({Triplet(0, 0, 1.0), Triplet(1, 1, 1.0), Triplet(2, 2, 1.0)});
    lu.solve(b, x);
    EXPECT_THROW(lu.factorize({Triplet(0, 0, 1.0), Triplet(1, 1, 1.0), Triplet(2, 1, 1.0)}),
                 NumericalError);
    EXPECT_THROW(lu.solve(b, x), NumericalError);
}

TEST(SparseLu, RejectsBadInput)
{
    EXPECT_THROW(SparseLuSolver(0), NumericalError);
    SparseLuSolver lu(2);
    Eigen::VectorXd b = Eigen::VectorXd::Ones(2), x;
    EXPECT_THROW(lu.solve(b, x), NumericalError);  // nothing factorised yet
    EXPECT_THROW(lu.factorize({Triplet(0, 0, 1.0), Triplet(2, 1, 1.0)}), NumericalError);
    EXPECT_THROW(lu.factorize({Triplet(0, 0, 1.0), Triplet(1, 1, std::nan(""))}),
                 NumericalError);
    lu.factorize({Triplet(0, 0, 1.0), Triplet(1, 1, 1.0)});
    Eigen::VectorXd shortB = Eigen::VectorXd::Ones(1);
    EXPECT_THROW(lu.solve(shortB, x), NumericalError);
    EXPECT_THROW(lu.solve(b, b), NumericalError);
    Eigen::VectorXd infB = b;
    infB[1] = std::numeric_limits<double>::infinity();
    EXPECT_THROW(lu.solve(infB, x), NumericalError);
}

// The test programs run without any BLAS variable in their environment: the solver itself must
// keep a threaded BLAS (OpenBLAS starts one thread per processor) at one thread per call.
TEST(SparseLu, KeepsAThreadedBlasAtOneThread)
{
#if defined(_WIN32)
    GTEST_SKIP() << "the Windows builds link a BLAS without threads";
#else
    using GetThreadCount = int (*)();
    const auto threads =
        reinterpret_cast<GetThreadCount>(dlsym(RTLD_DEFAULT, "openblas_get_num_threads"));
    if (!threads) GTEST_SKIP() << "the BLAS starts no threads of its own";
    const int before = threads();
    SparseLuSolver solver(4);
    solver.factorize(stepMatrix(2, 1.0, 0.1));
    EXPECT_EQ(threads(), 1) << "before the first solver: " << before;
#endif
}

}  // namespace
