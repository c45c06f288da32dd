// Schemes 1 and 15 (multi-level sparse): prices against the semi-analytic Heston pricer and the
// Black-Scholes limit of each variance law, put-call parity, the orders of convergence in time and
// space, steps that span the whole expiry in every price mode, and the multi-strike read-out.

#include "heston/heston_pricer.h"
#include "heston/integration.h"
#include "model/option_objects.h"
#include "numerics/array.h"
#include "numerics/numerical_error.h"
#include "schemes/support/frame_test_option.h"
#include "schemes/support/scheme_cases.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

using frame_test::Contract;
using frame_test::Grid;
using frame_test::gridOf;
using frame_test::impliedVol;
using frame_test::makeOption;
using frame_test::Model;
using scheme_cases::observedOrder;

// One solve through the price modes and the dispatcher; leaves the object for inspection.
double solve(OrvHestonVanilla& o)
{
    return frame_test::solve(o).results[4];
}

// The reported price of a solve on the log-spot reach from logGridFraction K up (scheme 15).
double reportedPrice(const Model& m, const Contract& c, const Grid& g,
                     double logGridFraction = 0.025)
{
    auto o = makeOption(m, c, g);
    o->logGridFraction = logGridFraction;
    return solve(*o);
}

double hestonPrice(const Model& m, const Contract& c)
{
    AnalyticHestonEngine engine = createGaussLobatto(1e-12, 100000);
    return hestonVanillaPrice(engine, c.S, c.K, c.T, c.r, c.d, m.v0, m.vL, m.kappa, m.volvol,
                              m.rho, c.callPut == 1 ? -1 : 1);
}

// Out-of-the-money side: a put below the spot, a call at and above it.
Contract outOfTheMoney(double K, double T, double r, double d)
{
    Contract c;
    c.K = K;
    c.T = T;
    c.r = r;
    c.d = d;
    c.callPut = K < c.S ? 1 : 0;
    return c;
}

// H1 satisfies the Feller condition (2 kappa vL > xi^2); H2 violates it.
const Model kH1{0.3, 0.04, 0.04, 1.5, -0.7, 0, 1.0};
const Model kH2{1.0, 0.04, 0.06, 2.0, -0.5, 0, 1.0};

struct HestonCase {
    Model model;
    double T, r, d;
    std::vector<double> strikes;
};

// logGridFraction: the lower reach of scheme 15's log-spot grid (ln of that fraction of K).
void expectHestonAgreement(const std::vector<HestonCase>& cases, const Grid& grid, double bp,
                           double logGridFraction)
{
    for (int scheme : {1, 15})
        for (const HestonCase& h : cases)
            for (double K : h.strikes) {
                const Contract c = outOfTheMoney(K, h.T, h.r, h.d);
                Grid g = grid;
                g.scheme = scheme;
                const double pde = reportedPrice(h.model, c, g, logGridFraction);
                const double error = impliedVol(c, pde) - impliedVol(c, hestonPrice(h.model, c));
                EXPECT_LT(std::fabs(error), bp * 1e-4)
                    << "scheme " << scheme << " xi " << h.model.volvol << " T " << h.T << " K " << K;
            }
}

const std::vector<double> kStrikes = {80.0, 90.0, 100.0, 110.0, 120.0};

// Scheme 15 on the spot reach the robust solves give it as their fallback (from 0.5 K up). On
// the object's default reach (from 0.025 K) few nodes are left near the strike, and short
// out-of-the-money options lose up to 26 bp at this size. The call at 120 % with T = 0.25
// (price 0.034) is left out: on this grid size schemes 1 and 2 both miss it by 10.4 bp.
TEST(MultiLevelSparse, HestonPricesWithinTenBasisPointsOnTheCoarseGrid)
{
    const std::vector<HestonCase> cases = {{kH1, 0.25, 0.02, 0.01, {80.0, 90.0, 100.0, 110.0}},
                                           {kH1, 1.0, 0.02, 0.01, kStrikes},
                                           {kH1, 2.0, 0.02, 0.01, kStrikes},
                                           {kH2, 0.5, 0.03, 0.0, kStrikes},
                                           {kH2, 2.0, 0.03, 0.0, kStrikes}};
    expectHestonAgreement(cases, Grid{}, 10.0, 0.5);
}

TEST(MultiLevelSparse, HestonPricesWithinTwoBasisPointsOnTheFineGrid)
{
    Grid fine = gridOf(200, 100, 100);
    // The wings, where the coarse grid is furthest off.
    const std::vector<double> strikes = {80.0, 120.0};
    expectHestonAgreement({{kH1, 1.0, 0.02, 0.01, strikes}, {kH2, 0.5, 0.03, 0.0, strikes}},
                          fine, 2.0, 0.025);
}

TEST(MultiLevelSparse, PutCallParity)
{
    Model garch = kH1;
    garch.modelCode = 1;
    garch.volvol = 1.0;
    for (int scheme : {1, 15})
        for (const Model& m : {kH1, garch}) {
            Contract c;  // S = K = 100, T = 1
            Grid g;
            g.scheme = scheme;
            const double call = reportedPrice(m, c, g);
            c.callPut = 1;
            const double put = reportedPrice(m, c, g);
            const double forward = c.S * std::exp(-c.d * c.T) - c.K * std::exp(-c.r * c.T);
            EXPECT_NEAR(call - put, forward, 1e-3)
                << "scheme " << scheme << " code " << m.modelCode;
        }
}

// Far above the strike a call is worth its forward, S exp(-dT) - K exp(-rT): the gradient
// condition at the top of the grid must bring in exactly the slope exp(-d tau).
TEST(MultiLevelSparse, CallValuesAtTheTopOfTheGridFollowTheForward)
{
    for (int scheme : {1, 15}) {
        const Contract c;
        Grid g;
        g.scheme = scheme;
        auto o = makeOption(kH1, c, g);
        Array<double> spots, values, d1, d2, zeros;
        double cpu = 0.0;
        o->calcPrice(spots, values, d1, d2, zeros, &cpu);
        ASSERT_GE(spots.size(), 3u);
        for (std::size_t i = spots.size() - 3; i < spots.size(); ++i) {
            const double forward = spots[i] * std::exp(-c.d * c.T) - c.K * std::exp(-c.r * c.T);
            EXPECT_NEAR(values[i], forward, 0.1) << "scheme " << scheme << " S " << spots[i];
        }
    }
}

TEST(MultiLevelSparse, ThirdOrderInTimeWithTheStartUpAndFirstOrderWithout)
{
    for (int scheme : {1, 15}) {
        double p[3];
        Grid g;
        g.scheme = scheme;
        for (int k = 0; k < 3; ++k) {
            g.NT = 10 << k;
            p[k] = reportedPrice(kH1, Contract{}, g);
        }
        const double bdf = observedOrder(p[0], p[1], p[2]);
        EXPECT_GT(bdf, 2.6) << "scheme " << scheme;
        EXPECT_LT(bdf, 3.4) << "scheme " << scheme;

        g.priceMode = 0;  // implicit Euler throughout
        for (int k = 0; k < 3; ++k) {
            g.NT = 10 << k;
            p[k] = reportedPrice(kH1, Contract{}, g);
        }
        const double euler = observedOrder(p[0], p[1], p[2]);
        EXPECT_GT(euler, 0.8) << "scheme " << scheme;
        EXPECT_LT(euler, 1.2) << "scheme " << scheme;
    }
}

TEST(MultiLevelSparse, SecondOrderInSpace)
{
    for (int scheme : {1, 15}) {
        double p[3];
        Grid g;
        g.scheme = scheme;
        g.NT = 60;
        for (int k = 0; k < 3; ++k) {
            g.NS = 40 << k;
            g.Nv = 20 << k;
            p[k] = reportedPrice(kH1, Contract{}, g);
        }
        const double order = observedOrder(p[0], p[1], p[2]);
        EXPECT_GT(order, 1.6) << "scheme " << scheme;
        EXPECT_LT(order, 2.6) << "scheme " << scheme;
    }
}

// Every price mode steps exactly to expiry: a solve that stopped inside the start-up would cover
// a quarter of T (a price near half the true one), and first steps with a mismatched right-hand
// side would start half again too high.
TEST(MultiLevelSparse, EveryPriceModeStepsToExpiry)
{
    const Contract c;
    const double reference = hestonPrice(kH1, c);
    for (int scheme : {1, 15}) {
        for (int NT = 1; NT <= 4; ++NT)
            for (int mode : {0, 1, 2, 3}) {
                Grid g;
                g.scheme = scheme;
                g.NT = NT;
                g.priceMode = mode;
                auto o = makeOption(kH1, c, g);
                // Implicit Euler with one to four steps is first order; the start-up is not.
                const double tolerance = mode == 0 ? 1.0 / NT : 0.3;
                EXPECT_NEAR(solve(*o), reference, tolerance)
                    << "scheme " << scheme << " NT " << NT << " mode " << mode;
                EXPECT_EQ(o->results[3], NT);
            }
        // Modes other than 0 share the start-up, and with it the price.
        Grid g;
        g.scheme = scheme;
        g.priceMode = 3;
        const double mode3 = reportedPrice(kH1, c, g);
        for (int mode : {1, 2}) {
            g.priceMode = mode;
            EXPECT_DOUBLE_EQ(reportedPrice(kH1, c, g), mode3)
                << "scheme " << scheme << " mode " << mode;
        }
    }
}

TEST(MultiLevelSparse, ExercisePeriodsRoundTheStepCountAndBermudanPutsGainEarlyExercise)
{
    Contract put;
    put.callPut = 1;
    put.K = 110.0;
    put.r = 0.05;
    put.d = 0.0;
    Grid g;
    g.scheme = 1;
    g.NT = 50;
    g.nPeriods = 4;
    auto european = makeOption(kH1, put, g);
    const double europeanPrice = solve(*european);
    EXPECT_EQ(european->results[3], 52.0);  // 4 periods of max(5, 13) steps
    EXPECT_NEAR(europeanPrice, hestonPrice(kH1, put), 0.01);

    g.exerciseType = 2;
    double previous = europeanPrice;
    for (int periods : {4, 12}) {
        g.nPeriods = periods;
        auto bermudan = makeOption(kH1, put, g);
        const double p = solve(*bermudan);
        // More exercise dates are worth more, but never more than exercising at once would add
        // over the European price.
        EXPECT_GT(p, previous + 1e-3) << periods << " exercise dates";
        EXPECT_LT(p, previous + (put.K - put.S)) << periods << " exercise dates";
        EXPECT_EQ(std::fmod(bermudan->results[3], periods), 0.0);
        previous = p;
    }
}

// The fallback must price the model of the main-road scheme 2, and so must scheme 1: the power
// law in the variance (codes 1, 2) and the volatility coordinate of codes 3 and 4.
TEST(MultiLevelSparse, SchemesOneAndFifteenPriceTheModelOfSchemeTwoForEveryModelCode)
{
    for (int code = 0; code <= 4; ++code) {
        Model m{0.5, 0.04, 0.05, 2.0, -0.5, code, 0.8};
        if (code >= 3) {  // the volatility models: v0 and vL are volatilities
            m.v0 = 0.2;
            m.vL = 0.22;
            m.volvol = 0.3;
        }
        Contract c;
        c.callPut = 1;
        Grid g = gridOf(80, 40, 40, 2);
        const double two = reportedPrice(m, c, g);
        for (int scheme : {1, 15}) {
            g.scheme = scheme;
            EXPECT_NEAR(reportedPrice(m, c, g), two, 2e-3)
                << "code " << code << " scheme " << scheme;
        }
    }
}

// With a tiny volatility of variance and no correlation the variance follows its ODE, and the
// price is Black-Scholes with the time-averaged variance of that ODE.
TEST(MultiLevelSparse, DeterministicVarianceLimitOfEveryLaw)
{
    struct Limit {
        int code;
        double v0, vL;  // variances, or volatilities for codes 3 and 4
        double blackScholes;
    };
    const Limit limits[] = {{0, 0.04, 0.09, 10.7480362825},
                            {1, 0.04, 0.09, 10.7480362825},
                            {2, 0.04, 0.09, 9.21348606459},
                            {3, 0.2, 0.3, 10.6079031194},
                            {4, 0.2, 0.3, 9.08130945648}};
    for (const Limit& l : limits)
        for (int scheme : {1, 15}) {
            const Model m{0.01, l.v0, l.vL, 2.0, 0.0, l.code, 0.8};
            Grid g = gridOf(100, 50, 50, scheme);
            g.VmaxParam = -0.5;
            EXPECT_NEAR(reportedPrice(m, Contract{}, g), l.blackScholes, 5e-3)
                << "code " << l.code << " scheme " << scheme;
        }
}

TEST(MultiLevelSparse, MultiStrikeSolvesAgreeWithSingleStrikeSolves)
{
    const std::vector<double> strikes = {90.0, 100.0, 110.0};
    for (int scheme : {1, 15}) {
        Grid g;
        g.scheme = scheme;
        Contract puts;
        puts.callPut = 1;
        auto o = frame_test::makeStrikeVectorOption(kH1, puts, strikes, g, true);
        solve(*o);
        ASSERT_EQ(o->strikePrices.size(), strikes.size());
        EXPECT_EQ(o->results[1], 0.0);
        EXPECT_EQ(o->results[2], o->strikePrices[0]);  // no negative values anywhere
        for (std::size_t k = 0; k < strikes.size(); ++k) {
            // Put prices at and below the spot, call prices above it.
            const Contract c = outOfTheMoney(strikes[k], 1.0, 0.02, 0.01);
            const Contract single{c.S, c.K, c.T, c.r, c.d, strikes[k] <= 100.0 ? 1 : 0};
            const double alone = reportedPrice(kH1, single, g);
            EXPECT_NEAR(impliedVol(single, o->strikePrices[k]), impliedVol(single, alone), 5e-4)
                << "scheme " << scheme << " K " << strikes[k];
        }
    }
}

}  // namespace
