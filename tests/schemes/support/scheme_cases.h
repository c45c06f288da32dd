#pragma once

// Cases and checks shared by the tests of the finite-difference schemes: models of each variance
// law, put-call parity, the deterministic-variance limit, observed orders of convergence, and
// strike vectors against single-strike solves.

#include "schemes/support/frame_test_option.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace scheme_cases {

// A model of each code with parameters of its kind (codes 3 and 4 are volatility models: v0 and
// vL are volatilities).
inline frame_test::Model modelOfCode(int code)
{
    frame_test::Model m;
    m.modelCode = code;
    m.volvol = code == 0 ? 0.3 : 0.8;
    m.rho = -0.5;
    if (code >= 3) {
        m.v0 = 0.2;
        m.vL = 0.2;
        m.volvol = 0.5;
    }
    return m;
}

// Set B of the Heston references: 2 kappa vL < xi^2.
inline frame_test::Model fellerFails()
{
    frame_test::Model m;
    m.v0 = 0.0175;
    m.vL = 0.0398;
    m.kappa = 1.5768;
    m.volvol = 0.5751;
    m.rho = -0.5711;
    return m;
}

// C - P - (S exp(-dT) - K exp(-rT)): zero up to the discretisation error.
inline double parityGap(const frame_test::Model& m, frame_test::Contract c,
                        const frame_test::Grid& g)
{
    c.callPut = 0;
    const double call = frame_test::price(m, c, g);
    c.callPut = 1;
    const double put = frame_test::price(m, c, g);
    return call - put - (c.S * std::exp(-c.d * c.T) - c.K * std::exp(-c.r * c.T));
}

// With a vanishing volatility of variance and no correlation the variance follows its ODE, and
// the price is Black-Scholes with the time-averaged variance. v0 0.04, vL 0.09, kappa 2, T 1,
// S = K = 100, r 0.02, d 0.01; codes 3 and 4 work in volatility (y0 0.2, yL 0.3). Each law has
// its own average.
const double kDeterministicVarianceCalls[5] = {10.7480362825, 10.7480362825, 9.21348606459,
                                               10.6079031194, 9.08130945648};

// The price of that limit by `scheme` on 100/50/50.
inline double deterministicVariancePrice(int code, int scheme)
{
    frame_test::Model m;
    m.modelCode = code;
    m.volvol = 0.01;
    m.rho = 0.0;
    m.kappa = 2.0;
    m.v0 = code >= 3 ? 0.2 : 0.04;
    m.vL = code >= 3 ? 0.3 : 0.09;
    frame_test::Grid g = frame_test::gridOf(100, 50, 50, scheme);
    g.VmaxParam = code >= 3 ? -0.5 : -0.3;
    return frame_test::price(m, frame_test::Contract(), g);
}

// Observed order of three solutions on grids refined by 2 each time.
inline double observedOrder(double coarse, double middle, double fine)
{
    return std::log2(std::fabs(coarse - middle) / std::fabs(middle - fine));
}

// The observed order in space: NS 40, 80, 160 with Nv = NS / 2 on NT steps.
inline double observedSpaceOrder(const frame_test::Model& m, const frame_test::Contract& c,
                                 int scheme, int NT)
{
    double p[3];
    for (int k = 0; k < 3; ++k)
        p[k] = frame_test::price(m, c, frame_test::gridOf(40 << k, 20 << k, NT, scheme));
    const double order = observedOrder(p[0], p[1], p[2]);
    std::printf("scheme %d space order %.3f (%.8f %.8f %.8f)\n", scheme, order, p[0], p[1], p[2]);
    return order;
}

// The observed order in time: NT 10, 20, 40 on a fixed NS x Nv grid.
inline double observedTimeOrder(const frame_test::Model& m, const frame_test::Contract& c,
                                int scheme, int NS, int Nv)
{
    double p[3];
    for (int k = 0; k < 3; ++k)
        p[k] = frame_test::price(m, c, frame_test::gridOf(NS, Nv, 10 << k, scheme));
    const double order = observedOrder(p[0], p[1], p[2]);
    std::printf("scheme %d time order %.3f (%.8f %.8f %.8f)\n", scheme, order, p[0], p[1], p[2]);
    return order;
}

// |IV(scheme) - IV(scheme 2)| in basis points on 200/100/100. The main-road scheme 2 is itself
// checked against the semi-analytic and Monte Carlo prices; the two grids differ, so the gap is
// of the size of the discretisation error.
inline double ivGapToSchemeTwoBp(const frame_test::Model& m, const frame_test::Contract& c,
                                 int scheme)
{
    frame_test::Grid g = frame_test::gridOf(200, 100, 100, 2);
    const double main = frame_test::price(m, c, g);
    g.scheme = scheme;
    const double other = frame_test::price(m, c, g);
    const double bp = frame_test::ivGapBp(c, other, main);
    std::printf("scheme %d code %d K %.0f: %.6f vs scheme 2 %.6f (%.3f bp)\n", scheme, m.modelCode,
                c.K, other, main, bp);
    return bp;
}

// One solve for all strikes (the object's reference strike is the smallest) read at the scaled
// spots must give the prices of separate solves: puts up to the spot, calls above it by parity.
// The solve's own price and implied volatility are left at zero.
struct StrikeVectorSolve {
    std::unique_ptr<OrvHestonVanilla> option;
    frame_test::Solve solve;
};

inline StrikeVectorSolve solveStrikeVector(const frame_test::Model& m,
                                           const frame_test::Contract& c,
                                           const std::vector<double>& strikes,
                                           const frame_test::Grid& g)
{
    StrikeVectorSolve s;
    s.option = frame_test::makeStrikeVectorOption(m, c, strikes, g, true);
    s.solve = frame_test::solve(*s.option);
    EXPECT_EQ(s.solve.results[1], 0.0);
    EXPECT_EQ(s.solve.results[4], 0.0);
    return s;
}

inline void expectStrikePricesMatchSingleSolves(const StrikeVectorSolve& multi,
                                                const frame_test::Model& m,
                                                const frame_test::Contract& c,
                                                const std::vector<double>& strikes,
                                                const frame_test::Grid& g, double toleranceBp)
{
    ASSERT_EQ(multi.option->strikePrices.size(), strikes.size());
    for (std::size_t k = 0; k < strikes.size(); ++k) {
        frame_test::Contract single = c;
        single.K = strikes[k];
        single.callPut = strikes[k] <= c.S ? 1 : 0;
        const double alone = frame_test::price(m, single, g);
        const double fromMulti = multi.option->strikePrices[k];
        const double bp = frame_test::ivGapBp(single, fromMulti, alone);
        std::printf("scheme %d K %.0f multi %.6f single %.6f  %.3f bp\n", g.scheme, strikes[k],
                    fromMulti, alone, bp);
        EXPECT_LT(bp, toleranceBp) << "scheme " << g.scheme << " K " << strikes[k];
    }
}

}  // namespace scheme_cases
