// Schemes 3, 5, 7 and 9 against independent truth: the semi-analytic Heston prices of tests/data,
// put-call parity on the scheme's own grid, agreement with scheme 2 (itself checked against Monte
// Carlo) for the other variance laws, the bounds and reference values of American options, the
// re-averaged exercise cell, and observed convergence orders.

#include "schemes/early_exercise.h"
#include "schemes/support/frame_test_option.h"
#include "schemes/support/scheme_cases.h"
#include "schemes/support/scheme_references.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdio>

using namespace frame_test;
using namespace scheme_cases;
using namespace scheme_refs;

namespace {

const int kSchemes[] = {3, 5, 7, 9};

Solve solveAmerican(const Model& m, const Contract& c, const Grid& g, bool american)
{
    auto o = makeOption(m, c, g);
    if (american) {
        o->exerciseType = 1;
        o->american = true;
    }
    return solve(*o);
}

}  // namespace

// Set A (rho -0.9) and set B (the Feller condition fails) over strikes 80-120, maturities 0.25-2.
TEST(McsSpotHeston, CoarseGridWithinTenBasisPointsOfImpliedVol)
{
    for (int scheme : kSchemes)
        checkAgainstHeston(scheme, Grid(), 10.0, 2e-2, everyRow);
}

TEST(McsSpotHeston, FineGridWithinTwoBasisPointsOfImpliedVol)
{
    Grid g = gridOf(200, 100, 100);
    for (int scheme : kSchemes)
        checkAgainstHeston(scheme, g, 2.0, 1e-3, fineSample);
}

// C - P = S exp(-dT) - K exp(-rT) on the default grid, per scheme and model code.
TEST(McsSpot, PutCallParityPerSchemeAndModelCode)
{
    for (int scheme : kSchemes) {
        for (int code = 0; code <= 4; ++code) {
            Contract c;
            c.K = 110.0;
            Grid g;
            g.scheme = scheme;
            EXPECT_NEAR(parityGap(modelOfCode(code), c, g), 0.0, 1e-3)
                << "scheme " << scheme << " code " << code;
        }
    }
}

// The other variance laws at 200/100/100: the power-law member prices every model code as the
// main-road scheme 2 does, the plain member the GARCH diffusion; the differences are of the size
// of the discretisation error (a fraction of a basis point of implied volatility).
TEST(McsSpot, NonAffineLawsAgreeWithSchemeTwo)
{
    struct Case {
        int scheme;
        int code;
    };
    const Case cases[] = {{3, 1}, {5, 1}, {7, 1}, {9, 1}, {3, 2}, {5, 2}, {3, 3}, {5, 3}, {3, 4}, {5, 4}};
    for (const Case& k : cases) {
        const Model m = modelOfCode(k.code);
        for (double K : {90.0, 110.0}) {
            Contract c;
            c.K = K;
            c.callPut = K < c.S ? 1 : 0;
            EXPECT_LT(ivGapToSchemeTwoBp(m, c, k.scheme), 1.0)
                << "scheme " << k.scheme << " code " << k.code << " K " << K;
        }
    }
}

// The power of the power-law member: exponent 1 is the GARCH law of the plain member (same grids,
// same price to rounding), exponent 0.5 the square-root law (priced on the variance grid of
// model code 1, which differs from code 0's in its upper end and stretch).
TEST(McsSpot, VarianceExponentSelectsTheLaw)
{
    Model m = modelOfCode(1);
    Contract c;
    Grid g;
    g.scheme = 7;
    const double garchLaw = price(m, c, g);
    m.modelCode = 0;
    const double squareRootLaw = price(m, c, g);
    m.modelCode = 1;
    g.scheme = 3;
    m.exponent = 1.0;
    EXPECT_NEAR(price(m, c, g), garchLaw, 1e-10);
    m.exponent = 0.5;
    EXPECT_NEAR(price(m, c, g), squareRootLaw, 2e-3);
    EXPECT_GT(std::fabs(garchLaw - squareRootLaw), 1e-2);
}

// An American call on a dividend payer is worth at least the European call and at least its
// exercise value at every spot node; without dividends early exercise never pays and the two
// prices agree. Without correlation the scheme keeps every value non-negative and the bounds hold
// exactly; with rho -0.7 the nine-point mixed stencil lets the far-below-strike values of both
// prices dip by a few 1e-4, which the bounds allow for.
TEST(McsSpotAmerican, CallBoundsWithAndWithoutDividends)
{
    for (double rho : {0.0, -0.7}) {
        const double slack = rho == 0.0 ? 1e-12 : 1e-3;
        Model m;
        m.rho = rho;
        for (int scheme : {3, 5, 7, 9}) {
            Contract c;
            c.d = 0.06;
            Grid g;
            g.scheme = scheme;
            const Solve european = solveAmerican(m, c, g, false);
            const Solve american = solveAmerican(m, c, g, true);
            const Array<double>& S = american.outputs[0];
            const Array<double>& va = american.outputs[1];
            const Array<double>& ve = european.outputs[1];
            ASSERT_EQ(va.size(), ve.size());
            double worst = 0.0;
            for (std::size_t i = 0; i < va.size(); ++i) {
                const double intrinsic = std::max(S[i] - c.K, 0.0);
                worst = std::min({worst, va[i] - ve[i], va[i] - intrinsic});
                EXPECT_GE(va[i], ve[i] - slack) << "scheme " << scheme << " S " << S[i];
                EXPECT_GE(va[i], intrinsic - slack) << "scheme " << scheme << " S " << S[i];
            }
            std::printf("scheme %d rho %.1f: American %.6f European %.6f, worst node dip %.2e\n",
                        scheme, rho, american.results[1], european.results[1], worst);
            EXPECT_GT(american.results[1], european.results[1] + 0.05) << "scheme " << scheme;

            c.d = 0.0;
            const double e0 = solveAmerican(m, c, g, false).results[1];
            const double a0 = solveAmerican(m, c, g, true).results[1];
            EXPECT_NEAR(a0, e0, 1e-12 * e0) << "scheme " << scheme;
        }
    }
}

// American puts under Heston against the published reference values of the standard test case
// (K 10, T 0.25, r 0.1, kappa 5, vL 0.16, xi 0.9, rho 0.1): the early-exercise projection also
// serves puts, which would otherwise be priced as a European interior with an American boundary.
TEST(McsSpotAmerican, PutMatchesReferenceValues)
{
    struct Row {
        double v0;
        double S;
        double price;
    };
    const Row rows[] = {{0.0625, 9.0, 1.107621}, {0.0625, 10.0, 0.520030}, {0.0625, 11.0, 0.213677},
                        {0.25, 9.0, 1.333632},   {0.25, 10.0, 0.795977},   {0.25, 11.0, 0.448273}};
    for (int scheme : kSchemes) {
        for (const Row& row : rows) {
            Model m;
            m.v0 = row.v0;
            m.vL = 0.16;
            m.kappa = 5.0;
            m.volvol = 0.9;
            m.rho = 0.1;
            Contract c;
            c.S = row.S;
            c.K = 10.0;
            c.T = 0.25;
            c.r = 0.1;
            c.d = 0.0;
            c.callPut = 1;
            Grid g = gridOf(100, 50, 50, scheme);
            const Solve american = solveAmerican(m, c, g, true);
            const double european = solveAmerican(m, c, g, false).results[1];
            std::printf("scheme %d v0 %.4f S %.0f: American %.6f (reference %.6f), European %.6f\n",
                        scheme, row.v0, row.S, american.results[1], row.price, european);
            EXPECT_NEAR(american.results[1], row.price, 1.5e-3) << "scheme " << scheme;
            EXPECT_GT(american.results[1], european);
            for (std::size_t i = 0; i < american.outputs[0].size(); ++i)
                EXPECT_GE(american.outputs[1][i],
                          std::max(c.K - american.outputs[0][i], 0.0) - 1e-6);
        }
    }
}

// The exercise cell's mean: the parabola through the continuation integrated exactly on its side
// of x, the linear interpolant of the exercised values on the other.
TEST(McsSpotAmerican, ReworkedCellHoldsTheCellMean)
{
    const int n = 8;
    Array<double> grid(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        grid[i] = 80.0 + 5.0 * i;  // 80 .. 115
    auto q = [](double s) { return 0.01 * (s - 90.0) * (s - 90.0) + 2.0; };
    auto l = [](double s) { return s - 100.0; };
    Array<double> src(static_cast<std::size_t>(n)), out(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        src[i] = q(grid[i]);
        out[i] = l(grid[i]);
    }
    auto Q = [](double s) { return 0.01 * std::pow(s - 90.0, 3) / 3.0 + 2.0 * s; };

    // Continuation below x = 101 (node 100 is nearest; its cell is [97.5, 102.5]).
    Array<double> a = out;
    reworkStrikeCell(grid, n, a, src, 101.0, false, true);
    const double below = (Q(101.0) - Q(97.5) + (102.5 - 101.0) * l(0.5 * (101.0 + 102.5))) / 5.0;
    EXPECT_NEAR(a[4], below, 1e-12);
    for (int i = 0; i < n; ++i) {
        if (i == 4)
            continue;
        EXPECT_EQ(a[i], out[i]);
    }

    // Continuation above x = 98.
    Array<double> b = out;
    reworkStrikeCell(grid, n, b, src, 98.0, true, true);
    const double above = (Q(102.5) - Q(98.0) + (98.0 - 97.5) * l(0.5 * (97.5 + 98.0))) / 5.0;
    EXPECT_NEAR(b[4], above, 1e-12);

    // Outside the grid's inner cells, or not a number: nothing changes.
    for (double x : {79.0, 114.0, std::nan("")}) {
        Array<double> c = out;
        reworkStrikeCell(grid, n, c, src, x, false, true);
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(c[i], out[i]) << "x " << x;
    }
}

// A projection whose continuation runs parallel to the payoff has no crossing: the row is
// projected and left at that, with nothing read outside the grid.
TEST(McsSpotAmerican, ProjectionWithoutCrossingLeavesTheProjectedRow)
{
    const int n = 6;
    Array<double> grid(static_cast<std::size_t>(n)), payoff(static_cast<std::size_t>(n));
    double row[6];
    for (int i = 0; i < n; ++i) {
        grid[i] = 20.0 * i;
        payoff[i] = std::max(grid[i] - 50.0, 0.0);
        row[i] = grid[i] - 55.0;  // slope 1: parallel to the payoff, below it
    }
    row[0] = 0.0;
    EXPECT_TRUE(projectOntoPayoff(grid, n, payoff, 50.0, false, row));
    for (int i = 3; i < n; ++i)
        EXPECT_EQ(row[i], payoff[i]);
}

// The power-law member sets the thread count of later parallel regions to 8; the plain member
// leaves it alone.
TEST(McsSpot, PowerLawMemberSetsEightThreads)
{
    const int saved = omp_get_max_threads();
    omp_set_num_threads(3);
    Grid g = gridOf(30, 15, 10, 7);
    price(Model(), Contract(), g);
    EXPECT_EQ(omp_get_max_threads(), 3);
    g.scheme = 3;
    price(Model(), Contract(), g);
    EXPECT_EQ(omp_get_max_threads(), 8);
    omp_set_num_threads(saved);
}

// The linearity condition at the top spot node (boundary mode 2, scheme 7 only) prices as the
// slope condition does: the top of the grid is far from the money.
TEST(McsSpot, LinearityConditionAtTheTopAgreesWithTheSlopeCondition)
{
    const Model m;
    Contract c;
    Grid g;
    g.scheme = 7;
    auto slope = makeOption(m, c, g);
    auto linear = makeOption(m, c, g);
    linear->boundaryMode = 2;
    const Solve a = solve(*slope);
    const Solve b = solve(*linear);
    EXPECT_NEAR(a.results[1], b.results[1], 1e-4);
    // The condition is in use: the values at the top of the grid move.
    const std::size_t top = a.outputs[1].size() - 1;
    std::printf("top node %.3f: slope condition %.8f, linearity condition %.8f\n",
                a.outputs[0][top], a.outputs[1][top], b.outputs[1][top]);
    EXPECT_NE(a.outputs[1][top], b.outputs[1][top]);
    EXPECT_NEAR(a.outputs[1][top], b.outputs[1][top], 1e-3 * a.outputs[1][top]);
}

// One solve for strikes 80 .. 120 (reference strike 80, a put) read at the scaled spots gives
// the prices of separate solves: puts up to the spot, calls above it by parity.
TEST(McsSpot, StrikeVectorAgreesWithSingleStrikeSolves)
{
    const Model m;
    const std::vector<double> strikes = {80.0, 90.0, 100.0, 110.0, 120.0};
    Contract c;
    c.T = 0.5;
    c.callPut = 1;
    Grid g = gridOf(100, 50, 50, 3);
    expectStrikePricesMatchSingleSolves(solveStrikeVector(m, c, strikes, g), m, c, strikes, g, 5.0);
}

// Halving both spatial steps on a fine time grid: errors fall about fourfold.
TEST(McsSpotConvergence, SecondOrderInSpace)
{
    const Model m;
    const Contract c;
    for (int scheme : {3, 7}) {
        const double order = observedSpaceOrder(m, c, scheme, 400);
        EXPECT_GT(order, 1.5) << "scheme " << scheme;
        EXPECT_LT(order, 2.6) << "scheme " << scheme;
    }
}

// Halving the step on a fixed fine grid: the damped schemes converge at second order.
TEST(McsSpotConvergence, SecondOrderInTimeWhenDamped)
{
    const Model m;
    Contract c;
    c.callPut = 1;
    for (int scheme : {5, 9}) {
        const double order = observedTimeOrder(m, c, scheme, 200, 100);
        EXPECT_GT(order, 1.6) << "scheme " << scheme;
        EXPECT_LT(order, 2.5) << "scheme " << scheme;
    }
}
