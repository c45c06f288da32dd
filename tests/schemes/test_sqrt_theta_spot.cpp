// Schemes 2, 4, 6 and 8 against independent truth: the semi-analytic Heston prices and the GARCH
// diffusion Monte Carlo prices of tests/data, put-call parity, the Black-Scholes limit of a
// deterministic variance, observed convergence orders, and multi-strike against single-strike.

#include "heston/heston_pricer.h"
#include "schemes/support/frame_test_option.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace frame_test;

namespace {

struct Reference {
    std::string set;
    Contract contract;
    Model model;
    double call;
    double put;
};

std::vector<std::string> splitCsv(const std::string& line)
{
    std::vector<std::string> cells;
    std::stringstream in(line);
    std::string cell;
    while (std::getline(in, cell, ','))
        cells.push_back(cell);
    return cells;
}

// heston_analytic.csv: set,S,K,T,r,d,v0,vL,meanReversion,volvol,rho,call,put,impliedVol
std::vector<Reference> hestonReferences(double kLow, double kHigh, double tLow, double tHigh)
{
    std::ifstream file(std::string(SARNEX_TEST_DATA_DIR) + "/heston_analytic.csv");
    EXPECT_TRUE(file.good());
    std::vector<Reference> rows;
    std::string line;
    std::getline(file, line);
    while (std::getline(file, line)) {
        const std::vector<std::string> c = splitCsv(line);
        if (c.size() < 14)
            continue;
        Reference ref;
        ref.set = c[0];
        ref.contract.S = std::stod(c[1]);
        ref.contract.K = std::stod(c[2]);
        ref.contract.T = std::stod(c[3]);
        ref.contract.r = std::stod(c[4]);
        ref.contract.d = std::stod(c[5]);
        ref.model.v0 = std::stod(c[6]);
        ref.model.vL = std::stod(c[7]);
        ref.model.kappa = std::stod(c[8]);
        ref.model.volvol = std::stod(c[9]);
        ref.model.rho = std::stod(c[10]);
        ref.model.modelCode = 0;
        ref.call = std::stod(c[11]);
        ref.put = std::stod(c[12]);
        const double K = ref.contract.K, T = ref.contract.T;
        if (K >= kLow && K <= kHigh && T >= tLow - 1e-12 && T <= tHigh + 1e-12)
            rows.push_back(ref);
    }
    return rows;
}

// The out-of-the-money side, whose implied volatility is the better-conditioned one.
Contract outOfTheMoney(Contract c)
{
    c.callPut = c.K < c.S ? 1 : 0;
    return c;
}

const int kSchemes[] = {2, 4, 6, 8};

// Below this out-of-the-money price (spot 100) the implied volatility is too weakly tied to the
// price to judge a coarse grid by: one cent moves it by tens of basis points. Those rows are
// judged by their price instead.
const double kWingPrice = 0.2;

double outOfTheMoneyTruth(const Reference& ref)
{
    return outOfTheMoney(ref.contract).callPut == 1 ? ref.put : ref.call;
}

void checkAgainstHeston(const Grid& base, double ivToleranceBp, double wingTolerance,
                        bool (*pick)(const Reference&))
{
    const std::vector<Reference> refs = hestonReferences(80.0, 120.0, 0.25, 2.0);
    ASSERT_GE(refs.size(), 50u);
    for (int scheme : kSchemes) {
        double worstBp = 0.0, worstWing = 0.0;
        for (const Reference& ref : refs) {
            if (!pick(ref))
                continue;
            Grid g = base;
            g.scheme = scheme;
            const Contract c = outOfTheMoney(ref.contract);
            const double truth = outOfTheMoneyTruth(ref);
            const double pde = price(ref.model, c, g);
            if (truth < kWingPrice) {
                const double err = std::fabs(pde - truth);
                worstWing = std::max(worstWing, err);
                EXPECT_LT(err, wingTolerance) << "scheme " << scheme << " set " << ref.set
                                              << " K " << c.K << " T " << c.T;
                continue;
            }
            const double err = 1e4 * std::fabs(impliedVol(c, pde) - impliedVol(c, truth));
            worstBp = std::max(worstBp, err);
            EXPECT_LT(err, ivToleranceBp) << "scheme " << scheme << " set " << ref.set << " K "
                                          << c.K << " T " << c.T;
        }
        std::printf("scheme %d %d/%d/%d: worst IV error %.3f bp, worst wing price error %.2e\n",
                    scheme, base.NS, base.Nv, base.NT, worstBp, worstWing);
    }
}

bool everyRow(const Reference&) { return true; }

// Wings and the money, short and long, both sets: a spread of the range for the fine grid.
bool fineSample(const Reference& ref)
{
    const double K = ref.contract.K, T = ref.contract.T;
    return (K == 80.0 || K == 100.0 || K == 120.0) && (T == 0.25 || T == 2.0);
}

}  // namespace

// Set A (rho -0.9) and set B (2 kappa vL < xi^2: the Feller condition fails) over strikes
// 80-120 and maturities 0.25-2.
TEST(SqrtThetaSpotHeston, CoarseGridWithinTenBasisPointsOfImpliedVol)
{
    Grid g;  // 60/30/30
    checkAgainstHeston(g, 10.0, 2e-2, everyRow);
}

TEST(SqrtThetaSpotHeston, FineGridWithinTwoBasisPointsOfImpliedVol)
{
    Grid g;
    g.NS = 200;
    g.Nv = 100;
    g.NT = 100;
    checkAgainstHeston(g, 2.0, 1e-3, fineSample);
}

// C - P = S exp(-dT) - K exp(-rT) on the default grid, per scheme and per model code (the
// boundary rows and the zero-variance row are where a parity fault shows).
TEST(SqrtThetaSpot, PutCallParityPerScheme)
{
    for (int scheme : kSchemes) {
        for (int code = 0; code <= 4; ++code) {
            if ((scheme == 6 || scheme == 8) && code > 1)
                continue;  // these schemes know the square-root and GARCH laws only
            Model m;
            m.modelCode = code;
            m.volvol = code == 0 ? 0.3 : 0.8;
            m.rho = -0.5;
            if (code >= 3) {  // volatility models: v0 and vL are volatilities
                m.v0 = 0.2;
                m.vL = 0.2;
                m.volvol = 0.5;
            }
            Contract c;
            Grid g;
            g.scheme = scheme;
            c.callPut = 0;
            const double call = price(m, c, g);
            c.callPut = 1;
            const double put = price(m, c, g);
            const double parity = c.S * std::exp(-c.d * c.T) - c.K * std::exp(-c.r * c.T);
            EXPECT_NEAR(call - put, parity, 1e-3) << "scheme " << scheme << " code " << code;
        }
    }
}

// With a vanishing volatility of variance and no correlation the variance follows its ODE, and
// the price is Black-Scholes with the time-averaged variance. v0 0.04, vL 0.09, kappa 2, T 1,
// S = K = 100, r 0.02, d 0.01; codes 3 and 4 work in volatility (y0 0.2, yL 0.3).
TEST(SqrtThetaSpot, DeterministicVarianceLimitPerModelCode)
{
    struct Case {
        int code;
        int scheme;
        double call;
    };
    const Case cases[] = {
        {0, 2, 10.7480362825}, {1, 2, 10.7480362825}, {2, 2, 9.21348606459},
        {3, 2, 10.6079031194}, {4, 2, 9.08130945648}, {0, 6, 10.7480362825},
        {1, 6, 10.7480362825}, {0, 4, 10.7480362825}, {1, 8, 10.7480362825},
    };
    for (const Case& k : cases) {
        Model m;
        m.modelCode = k.code;
        m.volvol = 0.01;
        m.rho = 0.0;
        m.kappa = 2.0;
        m.v0 = k.code >= 3 ? 0.2 : 0.04;
        m.vL = k.code >= 3 ? 0.3 : 0.09;
        Contract c;
        Grid g;
        g.scheme = k.scheme;
        g.NS = 100;
        g.Nv = 50;
        g.NT = 50;
        g.VmaxParam = k.code >= 3 ? -0.5 : -0.3;
        EXPECT_NEAR(price(m, c, g), k.call, 5e-3) << "code " << k.code << " scheme " << k.scheme;
    }
}

namespace {

double observedOrder(double coarse, double mid, double fine)
{
    return std::log2(std::fabs(coarse - mid) / std::fabs(mid - fine));
}

}  // namespace

// Halving both spatial steps with a fine time grid: errors fall about fourfold.
TEST(SqrtThetaSpot, SecondOrderInSpace)
{
    Model m;  // H1 of the review notes
    Contract c;
    for (int scheme : {2, 6}) {
        double p[3];
        for (int k = 0; k < 3; ++k) {
            Grid g;
            g.scheme = scheme;
            g.NS = 40 << k;
            g.Nv = 20 << k;
            g.NT = 400;
            p[k] = price(m, c, g);
        }
        const double order = observedOrder(p[0], p[1], p[2]);
        std::printf("scheme %d space order %.3f (%.8f %.8f %.8f)\n", scheme, order, p[0], p[1], p[2]);
        EXPECT_GT(order, 1.5) << "scheme " << scheme;
        EXPECT_LT(order, 2.6) << "scheme " << scheme;
    }
}

// Halving the step on a fixed fine grid: the damped schemes converge at second order.
TEST(SqrtThetaSpot, SecondOrderInTimeWhenDamped)
{
    Model m;
    Contract c;
    for (int scheme : {4, 8}) {
        double p[3];
        for (int k = 0; k < 3; ++k) {
            Grid g;
            g.scheme = scheme;
            g.NS = 200;
            g.Nv = 100;
            g.NT = 10 << k;
            p[k] = price(m, c, g);
        }
        const double order = observedOrder(p[0], p[1], p[2]);
        std::printf("scheme %d time order %.3f (%.8f %.8f %.8f)\n", scheme, order, p[0], p[1], p[2]);
        EXPECT_GT(order, 1.6) << "scheme " << scheme;
        EXPECT_LT(order, 2.5) << "scheme " << scheme;
    }
}

// One solve for strikes 80 .. 120 (reference strike 80, a put) read at the scaled spots must give
// the prices of separate solves: puts up to the spot, calls above it by parity.
TEST(SqrtThetaSpot, MultiStrikeAgreesWithSingleStrikeSolves)
{
    const Model m = [] {
        Model b;  // set B: Feller condition fails
        b.v0 = 0.0175;
        b.vL = 0.0398;
        b.kappa = 1.5768;
        b.volvol = 0.5751;
        b.rho = -0.5711;
        return b;
    }();
    const std::vector<double> strikes = {80.0, 90.0, 100.0, 110.0, 120.0};
    Contract c;
    c.T = 0.5;
    c.callPut = 1;
    Grid g;
    g.NS = 100;
    g.Nv = 50;
    g.NT = 50;
    auto multi = makeStrikeVectorOption(m, c, strikes, g, true);
    const Solve s = solve(*multi);
    ASSERT_EQ(multi->strikePrices.size(), strikes.size());
    EXPECT_EQ(s.results[1], 0.0);
    EXPECT_EQ(s.results[4], 0.0);
    for (std::size_t k = 0; k < strikes.size(); ++k) {
        Contract single = c;
        single.K = strikes[k];
        single.callPut = strikes[k] <= c.S ? 1 : 0;
        const double alone = price(m, single, g);
        const double fromMulti = multi->strikePrices[k];
        const double bp = 1e4 * std::fabs(impliedVol(single, fromMulti) - impliedVol(single, alone));
        std::printf("K %.0f multi %.6f single %.6f  %.3f bp\n", strikes[k], fromMulti, alone, bp);
        EXPECT_LT(bp, 5.0) << "K " << strikes[k];
    }
}

// GARCH diffusion (code 1) against conditional Monte Carlo prices, by implied volatility of the
// out-of-the-money side.
TEST(SqrtThetaSpot, GarchDiffusionAgreesWithMonteCarlo)
{
    std::ifstream file(std::string(SARNEX_TEST_DATA_DIR) + "/garch_diffusion_mc.csv");
    ASSERT_TRUE(file.good());
    std::string line;
    std::getline(file, line);
    int checked = 0;
    for (int scheme : {2, 6}) {
        double worst = 0.0;
        file.clear();
        file.seekg(0);
        std::getline(file, line);
        while (std::getline(file, line)) {
            // set,S,K,T,r,d,v0,vL,meanReversion,volvol,rho,type,price,stderr
            const std::vector<std::string> f = splitCsv(line);
            ASSERT_GE(f.size(), 14u);
            Contract c;
            c.S = std::stod(f[1]);
            c.K = std::stod(f[2]);
            c.T = std::stod(f[3]);
            c.r = std::stod(f[4]);
            c.d = std::stod(f[5]);
            c.callPut = f[11] == "put" ? 1 : 0;
            if (outOfTheMoney(c).callPut != c.callPut)
                continue;
            Model m;
            m.v0 = std::stod(f[6]);
            m.vL = std::stod(f[7]);
            m.kappa = std::stod(f[8]);
            m.volvol = std::stod(f[9]);
            m.rho = std::stod(f[10]);
            m.modelCode = 1;
            Grid g;
            g.scheme = scheme;
            g.NS = 100;
            g.Nv = 50;
            g.NT = 50;
            const double pde = price(m, c, g);
            const double bp = 1e4 * std::fabs(impliedVol(c, pde) - impliedVol(c, std::stod(f[12])));
            worst = std::max(worst, bp);
            ++checked;
            EXPECT_LT(bp, 5.0) << "scheme " << scheme << " K " << c.K << " T " << c.T;
        }
        std::printf("scheme %d GARCH worst %.3f bp\n", scheme, worst);
    }
    EXPECT_EQ(checked, 20);
}

// The zero-volatility row of the XGBM model must hold the call's value for a call (not the put's):
// parity between the two solves holds only then.
TEST(SqrtThetaSpot, XgbmZeroVolatilityRowFollowsTheOptionType)
{
    Model m;
    m.modelCode = 4;
    m.v0 = 0.2;
    m.vL = 0.25;
    m.kappa = 2.0;
    m.volvol = 0.8;
    m.rho = -0.5;
    Contract c;
    c.K = 110.0;
    Grid g;
    c.callPut = 0;
    const double call = price(m, c, g);
    c.callPut = 1;
    const double put = price(m, c, g);
    EXPECT_NEAR(call - put, c.S * std::exp(-c.d * c.T) - c.K * std::exp(-c.r * c.T), 1e-3);
}

// A case far outside the Feller condition (xi = 1, 2 kappa vL = 0.24), priced by this system's
// own semi-analytic pricer, over the strikes 80 .. 120.
TEST(SqrtThetaSpotHeston, StrongFellerViolationAgainstTheSemiAnalyticPricer)
{
    Model m;
    m.v0 = 0.04;
    m.vL = 0.06;
    m.kappa = 2.0;
    m.volvol = 1.0;
    m.rho = -0.5;
    AnalyticHestonEngine engine = createGaussLobatto(1e-12, 100000);
    for (double K : {80.0, 90.0, 100.0, 110.0, 120.0}) {
        Contract c;
        c.T = 0.5;
        c.r = 0.03;
        c.d = 0.0;
        c.K = K;
        c = outOfTheMoney(c);
        const double truth = hestonVanillaPrice(engine, c.S, c.K, c.T, c.r, c.d, m.v0, m.vL,
                                                m.kappa, m.volvol, m.rho, c.callPut == 1 ? -1 : 1);
        for (int scheme : kSchemes) {
            Grid g;
            g.scheme = scheme;
            const double bp = 1e4 * std::fabs(impliedVol(c, price(m, c, g)) - impliedVol(c, truth));
            EXPECT_LT(bp, 10.0) << "scheme " << scheme << " K " << K;
        }
    }
}
