#include "numerics/spline_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "numerics/numerical_error.h"

namespace {

// p(t) = 2 - t + 0.75 t^2 - 0.4 t^3 with its antiderivative and its Taylor coefficients.
double cubic(double t) { return 2.0 - t + 0.75 * t * t - 0.4 * t * t * t; }
double cubicAnti(double t) { return 2.0 * t - 0.5 * t * t + 0.25 * t * t * t - 0.1 * t * t * t * t; }
double cubicIntegral(double a, double b) { return cubicAnti(b) - cubicAnti(a); }

Array<double> nonUniformGrid(int n, double lo, double hi, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> jitter(0.4, 1.6);
    Array<double> x(n);
    std::vector<double> steps(n - 1);
    double total = 0.0;
    for (double& s : steps)
        total += (s = jitter(rng));
    x[0] = lo;
    for (int i = 1; i < n; ++i)
        x[i] = x[i - 1] + steps[i - 1] * (hi - lo) / total;
    x[n - 1] = hi;
    return x;
}

Array<double> sample(const Array<double>& x, double (*f)(double)) {
    Array<double> y(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        y[i] = f(x[i]);
    return y;
}

}  // namespace

// Not-a-knot ends make the spline through samples of a cubic the cubic itself: its coefficients on
// every interval are the Taylor coefficients there, and every integral is exact.
TEST(SplineTable, NotAKnotReproducesACubic) {
    for (int n : {4, 5, 9, 40}) {
        const Array<double> x = nonUniformGrid(n, -1.0, 2.5, 100u + n);
        table_function t(x, sample(x, cubic), false);
        ASSERT_TRUE(t.valid);
        EXPECT_NEAR(t.integralAll(true), cubicIntegral(-1.0, 2.5), 1e-12) << n;
        for (int i = 0; i + 1 < n; ++i) {
            const double s = x[i];
            EXPECT_NEAR(t.c0[i], cubic(s), 1e-12);
            EXPECT_NEAR(t.c1[i], -1.0 + 1.5 * s - 1.2 * s * s, 1e-10) << n << " " << i;
            EXPECT_NEAR(t.c2[i], 0.75 - 1.2 * s, 1e-10);
            EXPECT_NEAR(t.c3[i], -0.4, 1e-9);
        }
        const double limits[][2] = {{-1.0, 2.5}, {-0.7, 2.2}, {x[1], x[n - 2]}, {x[2], x[2]},
                                    {0.6 * x[1] + 0.4 * x[2], 0.5 * (x[1] + x[2])}, {-1.0, x[2]},
                                    {0.1, 0.1}, {x[n - 2], 2.5}};
        for (auto& ab : limits) {
            if (ab[0] > ab[1])
                continue;
            EXPECT_NEAR(t.integralBetween(ab[0], ab[1]), cubicIntegral(ab[0], ab[1]), 1e-12)
                << n << " [" << ab[0] << ", " << ab[1] << "]";
        }
    }
}

TEST(SplineTable, NaturalEndsReproduceAStraightLine) {
    const Array<double> x = nonUniformGrid(11, 0.0, 3.0, 8u);
    table_function t(x, sample(x, [](double s) { return 4.0 - 1.5 * s; }), true);
    EXPECT_NEAR(t.integralAll(true), 4.0 * 3.0 - 0.75 * 9.0, 1e-13);
    EXPECT_NEAR(t.integralBetween(0.2, 2.9), (4.0 * 2.9 - 0.75 * 2.9 * 2.9) - (4.0 * 0.2 - 0.75 * 0.04),
                1e-13);
    for (int i = 0; i < 10; ++i) {
        EXPECT_NEAR(t.c1[i], -1.5, 1e-13);
        EXPECT_NEAR(t.c2[i], 0.0, 1e-13);
        EXPECT_NEAR(t.c3[i], 0.0, 1e-13);
    }
    // A natural spline has zero curvature at the ends, so a parabola is not reproduced.
    table_function q(x, sample(x, [](double s) { return s * s; }), true);
    EXPECT_GT(std::fabs(q.integralAll(true) - 9.0), 1e-4);
}

// Smooth data: the not-a-knot spline integral converges at fourth order.
TEST(SplineTable, IntegralsConvergeAtFourthOrderOnSmoothData) {
    auto f = [](double s) { return std::exp(-s) * std::sin(3.0 * s); };
    // Exact integral of e^-s sin(3s): -e^-s (sin 3s + 3 cos 3s) / 10.
    auto F = [](double s) { return -std::exp(-s) * (std::sin(3.0 * s) + 3.0 * std::cos(3.0 * s)) / 10.0; };
    double previousAll = 0.0, previousPart = 0.0;
    for (int n : {21, 41, 81, 161}) {
        Array<double> x(n), y(n);
        for (int i = 0; i < n; ++i) {
            x[i] = 2.0 * i / (n - 1);
            y[i] = f(x[i]);
        }
        table_function t(x, y, false);
        const double errAll = std::fabs(t.integralAll(true) - (F(2.0) - F(0.0)));
        const double errPart = std::fabs(t.integralBetween(0.33, 1.71) - (F(1.71) - F(0.33)));
        if (previousAll > 0.0) {
            EXPECT_GT(previousAll / errAll, 12.0) << n;
            EXPECT_GT(previousPart / errPart, 12.0) << n;
        }
        previousAll = errAll;
        previousPart = errPart;
        // The whole range through integralBetween is the same sum, up to rounding.
        EXPECT_NEAR(t.integralBetween(0.0, 2.0), t.integralAll(true), 1e-14);
    }
}

TEST(SplineTable, SimpsonOnSamplesNeedsAnEvenIntervalCount) {
    Array<double> x3 = {1.0, 1.5, 2.0};
    Array<double> y3 = {2.0, 3.0, 7.0};
    table_function t3(x3, y3, false);
    EXPECT_DOUBLE_EQ(t3.integralAll(false), (2.0 + 4.0 * 3.0 + 7.0) * 0.5 / 3.0);
    EXPECT_TRUE(t3.needsBuild);

    Array<double> x4 = {0.0, 1.0, 2.0, 3.0};
    table_function t4(x4, x4, false);
    EXPECT_EQ(t4.integralAll(false), -999.0);

    // Simpson is exact on cubics at equally spaced samples.
    Array<double> x(13);
    for (int i = 0; i < 13; ++i)
        x[i] = -1.0 + 0.25 * i;
    table_function t(x, sample(x, cubic), false);
    EXPECT_NEAR(t.integralAll(false), cubicIntegral(-1.0, 2.0), 1e-13);
}

// The first interval on its own is the trapezoid of its end samples, deliberately, and asking for it
// does not build the spline.
TEST(SplineTable, FirstIntervalIsTheTrapezoidAndLeavesTheTableUnbuilt) {
    const Array<double> x = nonUniformGrid(8, 0.0, 2.0, 4u);
    table_function t(x, sample(x, cubic), false);
    const double trapezoid = (cubic(x[0]) + cubic(x[1])) * 0.5 * (x[1] - x[0]);
    EXPECT_DOUBLE_EQ(t.integralBetween(x[0], x[1]), trapezoid);
    EXPECT_TRUE(t.needsBuild);
    EXPECT_GT(std::fabs(trapezoid - cubicIntegral(x[0], x[1])), 1e-6);
    // Any other limits use the spline: slightly inside the first interval, or across it.
    EXPECT_NEAR(t.integralBetween(x[0], x[1] * (1.0 - 1e-12)), cubicIntegral(x[0], x[1]), 1e-9);
    EXPECT_FALSE(t.needsBuild);
    EXPECT_NEAR(t.integralBetween(x[0], x[2]), cubicIntegral(x[0], x[2]), 1e-12);
}

TEST(SplineTable, LimitsOutsideOrReversedGiveTheErrorValues) {
    const Array<double> x = {0.0, 0.5, 1.0, 1.5, 2.0};
    table_function t(x, sample(x, cubic), false);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(t.integralBetween(1.5, 0.5), -999.0);
    EXPECT_EQ(t.integralBetween(-0.1, 1.0), -998.0);
    EXPECT_EQ(t.integralBetween(1.0, 2.1), -998.0);
    EXPECT_EQ(t.integralBetween(2.1, 1.0), -998.0);  // range is tested before order
    EXPECT_EQ(t.integralBetween(1.0, -0.1), -998.0);
    EXPECT_EQ(t.integralBetween(nan, 1.0), -998.0);
    EXPECT_EQ(t.integralBetween(0.5, nan), -998.0);
    EXPECT_TRUE(t.needsBuild);
    EXPECT_EQ(t.integralBetween(0.7, 0.7), 0.0);
    EXPECT_EQ(t.integralBetween(1.0, 1.0), 0.0);
    EXPECT_EQ(t.integralBetween(2.0, 2.0), 0.0);
}

TEST(SplineTable, TablesThatBreakTheRulesGiveTheErrorValue) {
    const Array<double> good = {0.0, 1.0, 2.0, 3.0};
    const Array<double> twoPoints = {0.0, 1.0};
    const Array<double> notIncreasing = {0.0, 1.0, 1.0, 3.0};
    const Array<double> withNaN = {0.0, 1.0, std::nan(""), 3.0};
    const Array<double> three = {1.0, 2.0, 3.0};
    const Array<double> empty;
    struct Case {
        const Array<double>& x;
        const Array<double>& y;
    };
    for (Case c : {Case{twoPoints, twoPoints}, Case{notIncreasing, good}, Case{withNaN, good},
                   Case{good, three}, Case{empty, empty}}) {
        table_function t(c.x, c.y, false);
        EXPECT_FALSE(t.valid);
        EXPECT_EQ(t.integralAll(true), -999.0);
        EXPECT_EQ(t.integralAll(false), -999.0);
        EXPECT_EQ(t.integralBetween(0.5, 0.7), -999.0);
    }
    // Steps are stored whatever the verdict.
    table_function t(notIncreasing, good, true);
    EXPECT_EQ(t.h[1], 0.0);
    EXPECT_EQ(t.h[2], 2.0);
    EXPECT_EQ(t.h[3], 0.0);
}

// The solution lands one slot to the right of its row and satisfies every row of the system.
TEST(SplineTable, ThomasSolveSolvesTheSystemOneSlotToTheRight) {
    for (int m : {1, 2, 17}) {
        std::mt19937 rng(40u + m);
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        Array<double> sub(m), diag(m), super(m), rhs(m), out(m + 2);
        for (int j = 0; j < m; ++j) {
            sub[j] = u(rng);
            super[j] = u(rng);
            diag[j] = 3.0 + u(rng);
            rhs[j] = u(rng);
        }
        out[0] = 123.0;
        out[m + 1] = 456.0;
        table_function::thomasSolve(m, sub, diag, super, rhs, out);
        for (int j = 0; j < m; ++j) {
            const double row = (j >= 1 ? sub[j] * out[j] : 0.0) + diag[j] * out[j + 1] +
                               (j <= m - 2 ? super[j] * out[j + 2] : 0.0);
            EXPECT_NEAR(row, rhs[j], 1e-14) << m << " " << j;
        }
        EXPECT_EQ(out[0], 123.0);
        EXPECT_EQ(out[m + 1], 456.0);
    }
    Array<double> small(3), out(3);
    EXPECT_THROW(table_function::thomasSolve(3, small, small, small, small, out), NumericalError);
}

TEST(SplineTable, ThomasSizeLimitStopsTheBuildAndLeavesItPending) {
    Array<double> none(1);
    try {
        table_function::thomasSolve(30000, none, none, none, none, none);
        FAIL() << "no exception";
    } catch (const NumericalError& e) {
        EXPECT_STREQ(e.what(), "Requested array in Thomas algorihm is too large");
    }

    auto line = [](int n) {
        Array<double> x(n);
        for (int i = 0; i < n; ++i)
            x[i] = i * 1e-3;
        return x;
    };
    const Array<double> big = line(30002);  // 30000 interior nodes
    table_function tooBig(big, big, false);
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_THROW(tooBig.integralAll(true), NumericalError);
        EXPECT_TRUE(tooBig.needsBuild);
        EXPECT_EQ(tooBig.c0[5], 0.0);
    }
    EXPECT_THROW(tooBig.integralBetween(1.0, 2.0), NumericalError);

    const Array<double> largest = line(30001);  // 29999 interior nodes
    table_function ok(largest, largest, false);
    const double top = largest[30000];
    EXPECT_NEAR(ok.integralAll(true), 0.5 * top * top, 1e-9);
    EXPECT_FALSE(ok.needsBuild);
}
