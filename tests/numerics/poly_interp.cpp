#include "numerics/poly_interp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "numerics/numerical_error.h"
#include "numerics/row_matrix.h"

namespace {

double horner(const std::vector<double>& coeffs, double x) {
    double v = 0.0;
    for (auto it = coeffs.rbegin(); it != coeffs.rend(); ++it)
        v = v * x + *it;
    return v;
}

NumVector nonUniformNodes(int count, double lo, double hi, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> jitter(0.5, 1.5);
    std::vector<double> steps(count - 1);
    double total = 0.0;
    for (double& s : steps)
        total += (s = jitter(rng));
    NumVector v(count);
    v.data[0] = lo;
    for (int i = 1; i < count; ++i)
        v.data[i] = v.data[i - 1] + steps[i - 1] * (hi - lo) / total;
    return v;
}

// f(x1, x2) = sum a[p][q] x1^p x2^q with p < deg1, q < deg2.
struct Bivariate {
    std::vector<std::vector<double>> a;
    double operator()(double x1, double x2) const {
        std::vector<double> inX2(a.size());
        for (std::size_t p = 0; p < a.size(); ++p)
            inX2[p] = horner(a[p], x2);
        return horner(inX2, x1);
    }
};

Bivariate randomBivariate(int deg1, int deg2, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> coef(-1.0, 1.0);
    Bivariate f;
    f.a.assign(deg1, std::vector<double>(deg2));
    for (auto& row : f.a)
        for (double& c : row)
            c = coef(rng);
    return f;
}

}  // namespace

TEST(PolyInterp, ReproducesPolynomialsBelowItsOrderOnNonUniformAbscissae) {
    const NumVector xs = nonUniformNodes(23, -2.0, 3.0, 7u);
    std::mt19937 rng(1u);
    std::uniform_real_distribution<double> coef(-1.0, 1.0);
    for (int window = 2; window <= 8; ++window) {
        std::vector<double> coeffs(window);
        for (double& c : coeffs)
            c = coef(rng);
        std::vector<double> ys(23);
        for (int i = 0; i < 23; ++i)
            ys[i] = horner(coeffs, xs.data[i]);
        Poly_interp p(xs.data, ys.data(), 23, window);
        for (int k = 0; k <= 200; ++k) {
            const double x = -2.2 + 5.4 * k / 200.0;  // a little beyond both ends too
            const int start = p.locate(x);
            const double truth = horner(coeffs, x);
            EXPECT_NEAR(p.interpWindow(start, x), truth, 1e-11 * (1.0 + std::fabs(truth)))
                << "window " << window << " x " << x;
        }
    }
}

TEST(PolyInterp, ReturnsTheTabulatedValueOnAnAbscissa) {
    const NumVector xs = nonUniformNodes(12, 0.0, 1.0, 3u);
    std::vector<double> ys(12);
    for (int i = 0; i < 12; ++i)
        ys[i] = std::exp(xs.data[i]) * std::sin(7.0 * xs.data[i]);
    Poly_interp p(xs.data, ys.data(), 12, 6);
    for (int i = 0; i < 12; ++i) {
        const double v = p.interpWindow(p.locate(xs.data[i]), xs.data[i]);
        EXPECT_EQ(v, ys[i]) << i;
        EXPECT_EQ(p.errorEstimate, 0.0) << i;
    }
}

TEST(PolyInterp, ErrorEstimateIsTheLastCorrection) {
    // Degree 2 through 5 points: the higher levels add nothing. Degree 4: the last level matters and
    // the estimate is exactly the gap between the 4-point and the 5-point interpolants.
    const std::vector<double> xs = {0.0, 0.3, 1.1, 1.7, 2.6};
    const std::vector<double> quad = {1.0, -2.0, 0.5};
    const std::vector<double> quartic = {1.0, -2.0, 0.5, 0.25, -1.5};
    std::vector<double> yq(5), y4(5);
    for (int i = 0; i < 5; ++i) {
        yq[i] = horner(quad, xs[i]);
        y4[i] = horner(quartic, xs[i]);
    }
    Poly_interp pq(xs.data(), yq.data(), 5, 5);
    pq.interpWindow(0, 0.8);
    EXPECT_NEAR(pq.errorEstimate, 0.0, 1e-13);

    Poly_interp p5(xs.data(), y4.data(), 5, 5);
    const double full = p5.interpWindow(0, 0.8);
    EXPECT_NEAR(full, horner(quartic, 0.8), 1e-13);
    // Nearest point to 0.8 is index 2 (1.1 at 0.3 beats 0.3 at 0.5); Neville ends with either the
    // first four points or the last four, and the estimate is the difference to that cubic.
    Poly_interp lower(xs.data(), y4.data(), 5, 4);
    const double viaLower = lower.interpWindow(0, 0.8);
    const double viaUpper = lower.interpWindow(1, 0.8);
    const double gap = p5.errorEstimate;
    EXPECT_NE(gap, 0.0);
    EXPECT_TRUE(std::fabs(full - gap - viaLower) < 1e-12 || std::fabs(full - gap - viaUpper) < 1e-12);

    // Midway between two points the lower one is the starting point, so the correction is measured
    // from its value.
    const std::vector<double> x2 = {0.0, 1.0};
    const std::vector<double> y2 = {1.0, 3.0};
    Poly_interp line(x2.data(), y2.data(), 2, 2);
    EXPECT_EQ(line.interpWindow(0, 0.5), 2.0);
    EXPECT_EQ(line.errorEstimate, 1.0);
}

TEST(PolyInterp, RejectsRepeatedAbscissaeAndWindowsOutsideTheTable) {
    const std::vector<double> xs = {0.0, 1.0, 1.0, 2.0, 3.0};
    const std::vector<double> ys = {0.0, 1.0, 1.0, 4.0, 9.0};
    Poly_interp p(xs.data(), ys.data(), 5, 3);
    try {
        p.interpWindow(0, 0.5);
        FAIL() << "no exception";
    } catch (const NumericalError& e) {
        EXPECT_STREQ(e.what(), "Poly_interp error");
    }
    EXPECT_NEAR(p.interpWindow(2, 2.5), 6.25, 1e-14);  // a window without the repeat is fine
    EXPECT_THROW(p.interpWindow(3, 2.5), NumericalError);
    EXPECT_THROW(p.interpWindow(-1, 2.5), NumericalError);
}

TEST(NumVectorOwnership, CopiesAreDeepAndReleaseIsRepeatable) {
    NumVector a(4);
    EXPECT_EQ(a.data[3], 0.0);
    a.data[2] = 7.0;
    NumVector b;
    b = a;
    b.data[2] = 1.0;
    EXPECT_EQ(a.data[2], 7.0);
    a.release();
    a.release();
    EXPECT_EQ(a.count, 0);
    EXPECT_EQ(a.data, nullptr);
}

// Orders 6 x 6 as the pricing schemes use them, and an unequal pair; the table is bigger than the grid
// in the second case, which is allowed.
TEST(Grid2DInterp, ReproducesBivariatePolynomialsBelowItsOrders) {
    struct Case {
        int n1, n2, order1, order2, extraRows, extraCols;
    };
    for (Case c : {Case{31, 17, 6, 6, 0, 0}, Case{9, 12, 4, 3, 2, 5}}) {
        const NumVector x1 = nonUniformNodes(c.n1, 0.0, 4.0, 21u);
        const NumVector x2 = nonUniformNodes(c.n2, 0.0, 1.0, 22u);
        const Bivariate f = randomBivariate(c.order1, c.order2, 23u);
        RowMatrix table(c.n1 + c.extraRows, c.n2 + c.extraCols, std::nan(""));
        for (int i = 0; i < c.n1; ++i)
            for (int j = 0; j < c.n2; ++j)
                table.data[i][j] = f(x1.data[i], x2.data[j]);
        Grid2D_interp g(x1, x2, table, c.order1, c.order2);
        std::mt19937 rng(9u);
        std::uniform_real_distribution<double> u1(-0.1, 4.1), u2(-0.05, 1.05);
        std::vector<std::pair<double, double>> points;
        for (int k = 0; k <= 60; ++k)  // a walk across and back, then random points
            points.emplace_back(4.0 * k / 60.0, 0.3 + 0.5 * k / 60.0);
        for (int k = 60; k >= 0; --k)
            points.emplace_back(4.0 * k / 60.0, 0.9 - 0.8 * k / 60.0);
        for (int k = 0; k < 100; ++k)
            points.emplace_back(u1(rng), u2(rng));
        points.emplace_back(x1.data[0], x2.data[0]);
        points.emplace_back(x1.data[c.n1 - 1], x2.data[c.n2 - 1]);
        for (auto [a, b] : points) {
            const double truth = f(a, b);
            const double v = g.interp(a, b);
            EXPECT_NEAR(v, truth, 1e-10 * (1.0 + std::fabs(truth))) << a << ", " << b;
            // Hunting from remembered brackets must land on the same windows as a fresh search.
            Grid2D_interp fresh(x1, x2, table, c.order1, c.order2);
            EXPECT_EQ(fresh.interp(a, b), v);
        }
    }
}

TEST(Grid2DInterp, BadShapesAndQueriesThrowClearly) {
    const NumVector x1 = nonUniformNodes(8, 0.0, 1.0, 1u);
    const NumVector x2 = nonUniformNodes(5, 0.0, 1.0, 2u);
    RowMatrix table(8, 5, 1.0);
    {
        Grid2D_interp g(x1, x2, table, 6, 6);  // the second direction has only 5 points
        try {
            g.interp(0.5, 0.5);
            FAIL() << "no exception";
        } catch (const NumericalError& e) {
            EXPECT_STREQ(e.what(), "locate size error");
        }
    }
    Grid2D_interp g(x1, x2, table, 4, 4);
    EXPECT_NEAR(g.interp(0.5, 0.5), 1.0, 1e-14);
    EXPECT_THROW(g.interp(std::nan(""), 0.5), NumericalError);
    EXPECT_THROW(g.interp(0.5, std::nan("")), NumericalError);
    EXPECT_NEAR(g.interp(0.52, 0.49), 1.0, 1e-14);

    RowMatrix shortTable(7, 5, 1.0);
    EXPECT_THROW(Grid2D_interp(x1, x2, shortTable, 4, 4).interp(0.1, 0.1), NumericalError);
    RowMatrix narrowTable(8, 4, 1.0);
    EXPECT_THROW(Grid2D_interp(x1, x2, narrowTable, 4, 4).interp(0.1, 0.1), NumericalError);

    // Two coincident first-direction abscissae inside the window.
    NumVector dup(x1);
    dup.data[3] = dup.data[2];
    Grid2D_interp bad(dup, x2, table, 4, 4);
    EXPECT_THROW(bad.interp(dup.data[2] + 1e-3, 0.5), NumericalError);
}
