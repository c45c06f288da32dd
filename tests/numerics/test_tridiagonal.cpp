#include "numerics/tridiagonal.h"

#include "numerics/numerical_error.h"

#include <Eigen/Dense>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

namespace {

constexpr double kSentinel = -12345.0;

struct System {
    Array<double> sub, diag, super;
};

// Diagonally dominant systems like the implicit steps of a diffusion: I - dt * (second difference +
// drift) on a non-uniform grid, with random coefficients.
System randomDiffusionSystem(int n, std::mt19937& rng)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    System s{Array<double>(kSentinel, n + 1), Array<double>(kSentinel, n + 1), Array<double>(kSentinel, n + 1)};
    for (int i = 1; i <= n; ++i) {
        const double lower = 0.1 + 5.0 * unit(rng);
        const double upper = 0.1 + 5.0 * unit(rng);
        s.sub[i] = -lower;
        s.super[i] = -upper;
        s.diag[i] = 1.0 + lower + upper + unit(rng);
    }
    return s;
}

Eigen::VectorXd denseSolve(int n, const System& s, const Array<double>& rhs)
{
    Eigen::MatrixXd A = Eigen::MatrixXd::Zero(n, n);
    Eigen::VectorXd b(n);
    for (int i = 1; i <= n; ++i) {
        A(i - 1, i - 1) = s.diag[i];
        if (i > 1) {
            A(i - 1, i - 2) = s.sub[i];
        }
        if (i < n) {
            A(i - 1, i) = s.super[i];
        }
        b(i - 1) = rhs[i];
    }
    return A.fullPivLu().solve(b);
}

struct Factors {
    Array<double> mult, superCopy, pivot;
    explicit Factors(int n)
        : mult(kSentinel, n + 1), superCopy(kSentinel, n + 1), pivot(kSentinel, n + 1)
    {
    }
};

std::string failureOf(void (*call)())
{
    try {
        call();
    } catch (const NumericalError& e) {
        return e.what();
    }
    return "no failure";
}

TEST(Tridiagonal, SmallKnownSystem)
{
    const int n = 3;
    const Array<double> sub{0.0, 0.0, -1.0, -1.0};
    const Array<double> diag{0.0, 2.0, 2.0, 2.0};
    const Array<double> super{0.0, -1.0, -1.0, 0.0};
    const Array<double> rhs{0.0, 1.0, 0.0, 1.0};
    Factors f(n);
    Array<double> x(kSentinel, n + 1);
    tridiagFactor(n, sub, diag, super, f.mult, f.superCopy, f.pivot);
    tridiagSolve(n, f.mult, f.superCopy, f.pivot, rhs, x);
    EXPECT_DOUBLE_EQ(x[1], 1.0);
    EXPECT_DOUBLE_EQ(x[2], 1.0);
    EXPECT_DOUBLE_EQ(x[3], 1.0);
    // Element 0 of every vector, mult[1] and superCopy[n] are not written.
    EXPECT_EQ(x[0], kSentinel);
    EXPECT_EQ(f.mult[0], kSentinel);
    EXPECT_EQ(f.mult[1], kSentinel);
    EXPECT_EQ(f.superCopy[0], kSentinel);
    EXPECT_EQ(f.superCopy[n], kSentinel);
    EXPECT_EQ(f.pivot[0], kSentinel);
}

TEST(Tridiagonal, OrderOne)
{
    const Array<double> sub{9.0, 9.0};
    const Array<double> diag{9.0, 4.0};
    const Array<double> super{9.0, 9.0};
    Factors f(1);
    tridiagFactor(1, sub, diag, super, f.mult, f.superCopy, f.pivot);
    EXPECT_EQ(f.pivot[1], 4.0);
    EXPECT_EQ(f.mult[1], kSentinel);
    EXPECT_EQ(f.superCopy[1], kSentinel);
    Array<double> x(kSentinel, 2);
    tridiagSolve(1, f.mult, f.superCopy, f.pivot, Array<double>{0.0, 3.0}, x);
    EXPECT_EQ(x[1], 0.75);
    EXPECT_EQ(x[0], kSentinel);
}

TEST(Tridiagonal, AgreesWithADenseSolveAndReusesItsFactors)
{
    std::mt19937 rng(20261208);
    std::uniform_real_distribution<double> value(-10.0, 10.0);
    for (int n : {2, 3, 7, 50, 400}) {
        const System s = randomDiffusionSystem(n, rng);
        Factors f(n);
        tridiagFactor(n, s.sub, s.diag, s.super, f.mult, f.superCopy, f.pivot);
        for (int trial = 0; trial < 3; ++trial) {
            Array<double> rhs(n + 1);
            for (int i = 1; i <= n; ++i) {
                rhs[i] = value(rng);
            }
            Array<double> x(n + 1);
            tridiagSolve(n, f.mult, f.superCopy, f.pivot, rhs, x);
            const Eigen::VectorXd reference = denseSolve(n, s, rhs);
            for (int i = 1; i <= n; ++i) {
                EXPECT_NEAR(x[i], reference(i - 1), 1e-13 * (1.0 + std::fabs(reference(i - 1))))
                    << "n " << n << " i " << i;
            }
        }
    }
}


TEST(Tridiagonal, SolveInPlaceGivesTheSameResult)
{
    std::mt19937 rng(7);
    const int n = 25;
    const System s = randomDiffusionSystem(n, rng);
    Factors f(n);
    tridiagFactor(n, s.sub, s.diag, s.super, f.mult, f.superCopy, f.pivot);
    Array<double> rhs(n + 1);
    for (int i = 1; i <= n; ++i) {
        rhs[i] = std::cos(i);
    }
    Array<double> x(n + 1);
    tridiagSolve(n, f.mult, f.superCopy, f.pivot, rhs, x);
    Array<double> inPlace = rhs;
    tridiagSolve(n, f.mult, f.superCopy, f.pivot, inPlace, inPlace);
    for (int i = 1; i <= n; ++i) {
        EXPECT_EQ(inPlace[i], x[i]);
    }
}

TEST(Tridiagonal, ZeroPivotGivesNonFiniteValuesWithoutAnError)
{
    const int n = 3;
    const Array<double> sub{0.0, 0.0, 1.0, 1.0};
    const Array<double> diag{0.0, 0.0, 2.0, 2.0};
    const Array<double> super{0.0, 1.0, 1.0, 0.0};
    Factors f(n);
    tridiagFactor(n, sub, diag, super, f.mult, f.superCopy, f.pivot);
    EXPECT_FALSE(std::isfinite(f.mult[2]));
    Array<double> x(n + 1);
    tridiagSolve(n, f.mult, f.superCopy, f.pivot, Array<double>{0.0, 1.0, 1.0, 1.0}, x);
    EXPECT_FALSE(std::isfinite(x[1]));
}

TEST(Tridiagonal, VectorsTooShortForTheOrderAreRejected)
{
    EXPECT_EQ(failureOf([] {
                  Array<double> full(5), shortOne(4);
                  Array<double> m(5), u(5), p(5);
                  tridiagFactor(4, full, shortOne, full, m, u, p);
              }),
              "tridiagFactor: vector 'diag' holds 4 elements, a system of order 4 needs 5");
    EXPECT_EQ(failureOf([] {
                  Array<double> full(5), m(5), u(5), p(4);
                  tridiagFactor(4, full, full, full, m, u, p);
              }),
              "tridiagFactor: vector 'pivot' holds 4 elements, a system of order 4 needs 5");
    EXPECT_EQ(failureOf([] {
                  Array<double> full(5), x(4);
                  tridiagSolve(4, full, full, full, full, x);
              }),
              "tridiagSolve: vector 'x' holds 4 elements, a system of order 4 needs 5");
    EXPECT_EQ(failureOf([] {
                  Array<double> full(5), empty;
                  tridiagSolve(4, full, full, full, empty, full);
              }),
              "tridiagSolve: vector 'rhs' holds 0 elements, a system of order 4 needs 5");
    EXPECT_EQ(failureOf([] {
                  Array<double> v(3);
                  tridiagSolve(-1, v, v, v, v, v);
              }),
              "tridiagSolve: negative system order -1");
}

TEST(Tridiagonal, EmptySystemLeavesEverythingAlone)
{
    Array<double> v(kSentinel, 1);
    Array<double> empty;
    tridiagFactor(0, empty, empty, empty, v, v, v);
    tridiagSolve(0, empty, empty, empty, empty, v);
    EXPECT_EQ(v[0], kSentinel);
}

} // namespace
