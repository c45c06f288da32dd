// The single-option exports called in-process: their error values and messages, the argument
// handling of the pricer, and real prices against the semi-analytic Heston pricer.

#include "exports/single_option_exports.h"
#include "exports/support/pricer_call.h"

#include "heston/analytic_heston_engine.h"
#include "heston/heston_pricer.h"
#include "model/solver_failure_log.h"
#include "numerics/black_scholes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kError = -999.0;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// One Heston case with a known semi-analytic price.
struct HestonCase {
    double S = 100.0, K = 100.0, T = 1.0, r = 0.03, d = 0.0;
    double v0 = 0.04, vL = 0.04, kappa = 2.0, volvol = 0.5, rho = -0.7;
};

double analyticHeston(const HestonCase& c, double K, double T, int callPut)
{
    AnalyticHestonEngine engine = createGaussLobatto(1e-13, 1000000);
    return hestonVanillaPrice(engine, c.S, K, T, c.r, c.d, c.v0, c.vL, c.kappa, c.volvol, c.rho,
                              callPut == 0 ? 1 : -1);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Sends the failure log of the robust solve and of the exports to a file of this test program.
class SolverLogFile {
public:
    SolverLogFile()
        : path_(::testing::TempDir() + "sv_log_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                std::to_string(std::random_device{}()) + ".txt")
    {
        std::remove(path_.c_str());
        setSolverFailureLogPath(path_);
    }
    ~SolverLogFile()
    {
        setSolverFailureLogPath("");
        std::remove(path_.c_str());
    }
    std::string text() const { return readFile(path_); }

private:
    std::string path_;
};

}  // namespace

using pricer_test::nearestNode;
using pricer_test::PricerCall;

// ---------------------------------------------------------------------------------------------
// ImpliedVol

TEST(ImpliedVolExport, InvertsBlackScholesPricesOfCallsAndPuts)
{
    // The at-the-money call at vol 0.2.
    EXPECT_NEAR(ImpliedVol(9.413403383853016, 100, 100, 1, 0.03, 0, 0), 0.2, 1e-12);
    for (const double K : {60.0, 90.0, 100.0, 125.0, 180.0}) {
        for (const double sigma : {0.05, 0.3, 1.2}) {
            for (const int callPut : {0, 1}) {
                // Deep in the money at a low volatility the price holds no time value to invert.
                const bool inTheMoney = callPut == 0 ? K < 100.0 : K > 100.0;
                if (inTheMoney && sigma < 0.1 && std::fabs(K - 100.0) > 20.0) continue;
                const double price = blackScholesPrice(100, K, 0.02, 0.01, sigma, 0.75, callPut);
                EXPECT_NEAR(ImpliedVol(price, 100, K, 0.75, 0.02, 0.01, callPut), sigma, 1e-7)
                    << "K " << K << " sigma " << sigma << " callPut " << callPut;
            }
        }
    }
}

TEST(ImpliedVolExport, PricesOutsideTheVolatilityRangeAndUnusableInputsGiveTheErrorValue)
{
    // Below the price at vol 1e-15 (2.9554466451) and above the one at vol 2 (68.7432096373).
    EXPECT_EQ(ImpliedVol(2.95, 100, 100, 1, 0.03, 0, 0), kError);
    EXPECT_EQ(ImpliedVol(68.75, 100, 100, 1, 0.03, 0, 0), kError);
    EXPECT_EQ(ImpliedVol(-1.0, 100, 100, 1, 0.03, 0, 1), kError);
    EXPECT_EQ(ImpliedVol(kNaN, 100, 100, 1, 0.03, 0, 0), kError);
    EXPECT_EQ(ImpliedVol(10.0, 0.0, 100, 1, 0.03, 0, 0), kError);
    EXPECT_EQ(ImpliedVol(10.0, 100, -5.0, 1, 0.03, 0, 0), kError);
    EXPECT_EQ(ImpliedVol(10.0, 100, 100, 0.0, 0.03, 0, 0), kError);
    EXPECT_EQ(ImpliedVol(10.0, 100, 100, 1, kNaN, 0, 0), kError);
}

// ---------------------------------------------------------------------------------------------
// GARCH_VanillaPDESolver: error value and failure record

TEST(VanillaPDESolverExport, UnusableInputsGiveTheErrorValueAndAFailureRecord)
{
    SolverLogFile log;
    const HestonCase c;
    auto solve = [&](double S, double T, int NS, int Nv, int NT, int scheme) {
        return GARCH_VanillaPDESolver(S, c.K, T, c.r, c.d, c.v0, c.vL, c.kappa, c.volvol, c.rho,
                                      NS, Nv, NT, 0, 0, 1, scheme, 0, 0.0, 1.0, 0, 0);
    };
    EXPECT_EQ(solve(100, 1, 0, 30, 30, 2), kError);
    EXPECT_EQ(solve(100, 1, 60, -1, 30, 2), kError);
    EXPECT_EQ(solve(100, 1, 60, 30, 0, 2), kError);
    EXPECT_EQ(solve(-100, 1, 60, 30, 30, 2), kError);
    EXPECT_EQ(solve(100, kNaN, 60, 30, 30, 2), kError);
    // A scheme number outside 1 to 15 would otherwise price nothing and come back as 0.0.
    EXPECT_EQ(solve(100, 1, 60, 30, 30, 16), kError);
    EXPECT_EQ(solve(100, 1, 60, 30, 30, 0), kError);

    const std::string text = log.text();
    EXPECT_NE(text.find("NS, Nv and NT must be positive"), std::string::npos);
    EXPECT_NE(text.find("S, K and T must be positive numbers"), std::string::npos);
    EXPECT_NE(text.find("unknown scheme number 16"), std::string::npos);
    // Each record is framed by star lines and lists the inputs.
    EXPECT_NE(text.find(std::string(85, '*') + "\nGARCH_VanillaPDESolver: unknown scheme number 0"),
              std::string::npos);
    EXPECT_NE(text.find("NS:\t\t0\n"), std::string::npos);
    EXPECT_NE(text.find("Call/Put: \t0\n"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// OrvOptionPricer: argument handling

// Above the cap nothing is solved, and the message says why, as the other refusals do: no side
// effects, not even the rescaled volvol.
TEST(OptionPricerExport, AGridAboveTheCapIsRefusedWithAMessageNamingTheLimit)
{
    for (const int NS : {50001, 60000}) {
        PricerCall call(10);
        call.NS = NS;
        call.cpuTime = -1.0;
        EXPECT_EQ(call.call(), "OrvOptionPricer: NS = " + std::to_string(NS) +
                                   " spot intervals exceed the limit of 50000; nothing was solved");
        EXPECT_EQ(call.NS, NS);
        EXPECT_EQ(call.params[0], 0.5);
        EXPECT_EQ(call.cpuTime, -1.0);
        for (const auto& array : call.out) EXPECT_EQ(array[0], 7.0);
    }
}

TEST(OptionPricerExport, NullPointersAndUnusableInputsComeBackAsMessagesWithoutSideEffects)
{
    PricerCall call;
    double cpu = 0.0;
    int NS = 60;
    int Nv = 30;
    platform::Bstr result =
        OrvOptionPricer(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &cpu, 100, 100, 30,
                        1.0, call.params, 0.03, 0.0, 0.0, &NS, &Nv, 0, 0, 3, 0, call.firstFive,
                        call.secondFive, -3.0, 0.0, 1.0, false, false, true, false, 0);
    EXPECT_EQ(platform::narrowFromBstr(result), "OrvOptionPricer: an output array is null");
    platform::freeBstr(result);

    result = OrvOptionPricer(call.out[0].data(), call.out[1].data(), call.out[2].data(),
                             call.out[3].data(), call.out[4].data(), call.out[5].data(), &cpu,
                             100, 100, 30, 1.0, nullptr, 0.03, 0.0, 0.0, &NS, nullptr, 0, 0, 3, 0,
                             call.firstFive, call.secondFive, -3.0, 0.0, 1.0, false, false, true,
                             false, 0);
    EXPECT_NE(platform::narrowFromBstr(result).find("must not be null"), std::string::npos);
    platform::freeBstr(result);

    for (int variant = 0; variant < 4; ++variant) {
        PricerCall bad;
        if (variant == 0) bad.NS = 0;
        if (variant == 1) bad.Nv = -3;
        if (variant == 2) bad.rootT = 0.0;
        if (variant == 3) bad.S = kNaN;
        EXPECT_NE(bad.call(), "") << "variant " << variant;
        EXPECT_EQ(bad.params[0], 0.5) << "the parameters are left alone, variant " << variant;
        EXPECT_EQ(bad.out[1][0], 7.0);
    }
}

// ---------------------------------------------------------------------------------------------
// Real prices

TEST(VanillaPDESolverExport, HestonPriceAgreesWithTheSemiAnalyticPriceWithin10bp)
{
    SolverLogFile log;
    const HestonCase c;
    // Strikes 80-120 % of spot, a short and a long expiry (the shortest out-of-the-money call
    // is the hardest case at this coarse grid).
    const double cases[][2] = {{80.0, 0.25}, {100.0, 0.25}, {110.0, 0.25}, {80.0, 1.0},
                               {100.0, 1.0}, {120.0, 1.0}, {120.0, 2.0}};
    for (const auto& kt : cases) {
        const double K = kt[0];
        const double T = kt[1];
        const int callPut = K < c.S ? 1 : 0;
        const double reference = analyticHeston(c, K, T, callPut);
        const double referenceIV = ImpliedVol(reference, c.S, K, T, c.r, c.d, callPut);
        const double price = GARCH_VanillaPDESolver(c.S, K, T, c.r, c.d, c.v0, c.vL, c.kappa,
                                                    c.volvol, c.rho, 60, 30, 30, callPut, 0,
                                                    1, 2, 0, 0.0, 1.0, 0, 0);
        const double iv = GARCH_VanillaPDESolver(c.S, K, T, c.r, c.d, c.v0, c.vL, c.kappa,
                                                 c.volvol, c.rho, 60, 30, 30, callPut, 0, 1,
                                                 2, 1, 0.0, 1.0, 0, 0);
        ASSERT_GT(price, 0.0) << "K " << K << " T " << T;
        EXPECT_NEAR(ImpliedVol(price, c.S, K, T, c.r, c.d, callPut), referenceIV, 10e-4)
            << "K " << K << " T " << T;
        // The implied-volatility result is the volatility of the same price.
        EXPECT_NEAR(iv, ImpliedVol(price, c.S, K, T, c.r, c.d, callPut), 1e-8);
    }
}

TEST(VanillaPDESolverExport, RichardsonModesAlsoPriceWithin10bp)
{
    SolverLogFile log;
    const HestonCase c;
    const double referenceIV = ImpliedVol(analyticHeston(c, 100, 1, 0), 100, 100, 1, c.r, c.d, 0);
    for (const int selector : {2, 4}) {
        const double iv = GARCH_VanillaPDESolver(c.S, 100, 1, c.r, c.d, c.v0, c.vL, c.kappa,
                                                 c.volvol, c.rho, 60, 30, 30, 0, 0, selector, 2,
                                                 1, 0.0, 1.0, 0, 0);
        EXPECT_NEAR(iv, referenceIV, 10e-4) << "selector " << selector;
    }
}

TEST(OptionPricerExport, SolutionAlongTheSpotGridMatchesTheSemiAnalyticPricer)
{
    HestonCase c;
    PricerCall call(100);
    call.NS = 100;
    call.Nv = 50;
    call.NT = 50;
    call.r = 0.0;  // keeps volvol: exp(log(2) * (params[0] - 0)) = volvol for params[0] = log2(volvol)
    c.r = 0.0;
    call.params[0] = std::log2(c.volvol);
    call.cpuTime = -1.0;
    call.bumpMaturity = true;
    call.bumpVariance = true;
    ASSERT_EQ(call.call(), "");
    ASSERT_GE(call.NS, 2);
    ASSERT_LE(call.NS, 100);
    const int nodes = call.NS + 1;

    // results: [1] the price at (S, v0), [3] the steps used, [4] its implied volatility.
    const double reference = analyticHeston(c, 100, 1, 0);
    const double referenceIV = ImpliedVol(reference, 100, 100, 1, 0, 0, 0);
    EXPECT_NEAR(call.params[4], ImpliedVol(call.params[1], 100, 100, 1, 0, 0, 0), 1e-8);
    EXPECT_NEAR(call.params[4], referenceIV, 10e-4);
    EXPECT_GE(call.params[3], 50.0);
    EXPECT_GE(call.cpuTime, 0.0);

    // Values along the grid, away from its ends, against the analytic price at each node's spot.
    AnalyticHestonEngine engine = createGaussLobatto(1e-13, 1000000);
    for (int i = 0; i < nodes; ++i) {
        const double s = call.out[0][i];
        if (s < 70.0 || s > 140.0) continue;
        const double exact = hestonVanillaPrice(engine, s, 100, 1, 0, 0, c.v0, c.vL, c.kappa,
                                                c.volvol, c.rho, 1);
        EXPECT_NEAR(call.out[1][i], exact, 0.01) << "spot " << s;
    }

    // Greeks at the node nearest the spot: delta and gamma by differences of the analytic price,
    // theta (value lost per calendar day) and vega (per volatility point of v0 and vL together).
    const std::size_t i = nearestNode(call.out[0], nodes, 100.0);
    const double s = call.out[0][i];
    const double h = 0.5;
    auto analyticAt = [&](double spot, double T, double v0, double vL) {
        return hestonVanillaPrice(engine, spot, 100, T, 0, 0, v0, vL, c.kappa, c.volvol, c.rho, 1);
    };
    const double up = analyticAt(s + h, 1, c.v0, c.vL);
    const double mid = analyticAt(s, 1, c.v0, c.vL);
    const double down = analyticAt(s - h, 1, c.v0, c.vL);
    EXPECT_NEAR(call.out[2][i], (up - down) / (2 * h), 0.005);
    EXPECT_NEAR(call.out[3][i], (up - 2 * mid + down) / (h * h), 5e-4);
    const double dT = 1e-3;
    const double theta = (mid - analyticAt(s, 1 + dT, c.v0, c.vL)) / dT / 365.0;
    EXPECT_LT(call.out[4][i], 0.0);
    EXPECT_NEAR(call.out[4][i], theta, 0.02 * std::fabs(theta));
    const double dv = 1e-3;
    auto bumped = [&](double v) { return (std::sqrt(v) + dv) * (std::sqrt(v) + dv); };
    const double vega = (analyticAt(s, 1, bumped(c.v0), bumped(c.vL)) - mid) / dv / 100.0;
    EXPECT_GT(call.out[5][i], 0.0);
    EXPECT_NEAR(call.out[5][i], vega, 0.02 * vega);
}

TEST(OptionPricerExport, WithoutBumpsTheFifthOutputIsZeroAndVegaIsNotWritten)
{
    PricerCall call(60);
    ASSERT_EQ(call.call(), "");
    const int nodes = call.NS + 1;
    for (int i = 0; i < nodes; ++i) {
        EXPECT_EQ(call.out[4][i], 0.0);
        EXPECT_EQ(call.out[5][i], 7.0);
    }
    // A non-negative cpuTime on entry: params[4] is the price itself.
    EXPECT_EQ(call.params[4], call.params[1]);
    EXPECT_GT(call.params[1], 0.0);
}
