// The two solvers of the damped normal equations and the covariance, against closed forms.

#include "levmar/levmar.h"
#include "levmar/linear_solve.h"
#include "support/published_problems.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(LinearSolve, BothSolversSolveSymmetricSystemsAndRefuseSingularOnes)
{
    // A symmetric indefinite matrix with an exact integer solution.
    const double A[9] = {4, 1, 2, 1, -3, 0, 2, 0, 1};
    const double xTrue[3] = {1, -2, 3};
    double b[3];
    for (int i = 0; i < 3; ++i) b[i] = A[3 * i] * xTrue[0] + A[3 * i + 1] * xTrue[1] + A[3 * i + 2] * xTrue[2];
    const double zero[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double poisoned[9] = {4, 1, 2, 1, nan, 0, 2, 0, 1};

    BunchKaufmanSolver bk(3);
    LuSolver lu(3);
    double xb[3], xl[3];
    ASSERT_TRUE(bk.solve(A, b, xb));
    ASSERT_TRUE(lu.solve(A, b, xl));
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(xb[i], xTrue[i], 1e-14);
        EXPECT_NEAR(xl[i], xTrue[i], 1e-14);
    }
    testing::internal::CaptureStderr();
    EXPECT_FALSE(bk.solve(zero, b, xb));
    EXPECT_FALSE(lu.solve(zero, b, xl));
    EXPECT_FALSE(bk.solve(poisoned, b, xb));  // non-finite solutions count as unsolved
    EXPECT_FALSE(lu.solve(poisoned, b, xl));
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find("Singular matrix A in Ax_eq_b_LU_noLapack()!\n"), std::string::npos);
}

TEST(LinearSolve, CovarianceOfALineFitIsTheClassicalOne)
{
    // The line fit: X^T X = [[3,3],[3,5]], RSS = 1.5 on n - m = 1 degree of freedom.
    const double expected[4] = {1.25, -0.75, -0.75, 0.75};
    const double XtX[4] = {3, 3, 3, 5};
    double svd[4], lu[4];
    EXPECT_EQ(levmarCovarianceSvd(XtX, svd, 1.5, 2, 3), 2);
    EXPECT_EQ(levmarCovarianceLu(XtX, lu, 1.5, 2, 3), 2);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(svd[i], expected[i], 1e-14);
        EXPECT_NEAR(lu[i], expected[i], 1e-14);
    }
    // A rank-one J^T J: the pseudo-inverse of [[1,1],[1,1]] is [[1,1],[1,1]] / 4.
    const double rankOne[4] = {1, 1, 1, 1};
    EXPECT_EQ(levmarCovarianceSvd(rankOne, svd, 1.0, 2, 3), 1);
    for (double v : svd) EXPECT_NEAR(v, 0.5 * 0.25, 1e-15);  // factor 1 / (3 - 1)

    // Through a driver, with differences exact up to rounding on a linear model.
    double p[2] = {3.0, -1.0}, x[3] = {1.0, 0.0, 2.0}, covar[4], info[LM_INFO_SZ];
    dlevmar_dif(published::line, p, x, 2, 3, 100, nullptr, info, nullptr, covar, nullptr);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(covar[i], expected[i], 1e-8);
}
