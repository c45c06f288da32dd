// Inputs that no model can price, at the two pricing exports: each is refused with the export's
// failure value (-999.0, or a message naming the argument), leaves a record where the export
// keeps one, and is refused at once instead of being solved. Failed solves are failures, not
// prices, and the inputs at the edge of what the models accept still price.

#include "exports/single_option_exports.h"

#include "calibration/support/chain_fixtures.h"
#include "heston/analytic_heston_engine.h"
#include "heston/heston_pricer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double kError = -999.0;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
// A refusal happens before any grid is laid: far below this, even under the sanitizers.
constexpr double kRefusalSeconds = 1.0;

template <class F>
double secondsOf(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The arguments of GARCH_VanillaPDESolver, a Heston case that prices in a few milliseconds.
struct SolverArgs {
    double S = 100, K = 100, T = 1, r = 0.03, d = 0, v0 = 0.04, vL = 0.04, theta = 2,
           volvol = 0.5, rho = -0.7;
    int NS = 60, Nv = 30, NT = 30, callPut = 0, exerciseType = 0, selector = 1, scheme = 2,
        returnIV = 0;
    double SmaxUser = 0, VmaxParam = 1.0;
    int spotGridFlag = 0, modelCode = 0;

    double call() const
    {
        return GARCH_VanillaPDESolver(S, K, T, r, d, v0, vL, theta, volvol, rho, NS, Nv, NT,
                                      callPut, exerciseType, selector, scheme, returnIV, SmaxUser,
                                      VmaxParam, spotGridFlag, modelCode);
    }
};

struct SolverCase {
    const char* what;
    std::function<void(SolverArgs&)> change;
    const char* named;  // text the log record must hold
};

// refused: checked before any solve (at once, the record names the export); else a failed solve.
void expectRefused(const std::vector<SolverCase>& cases, bool refused = true)
{
    for (const SolverCase& c : cases) {
        fixtures::Files files;
        SolverArgs args;
        c.change(args);
        double result = 0.0;
        const double seconds = secondsOf([&] { result = args.call(); });
        EXPECT_EQ(result, kError) << c.what;
        EXPECT_TRUE(!refused || seconds < kRefusalSeconds) << c.what << ": " << seconds << " s";
        const std::string text = files.solverLog();
        EXPECT_NE(text.find((refused ? "GARCH_VanillaPDESolver: " : "") + std::string(c.named)),
                  std::string::npos)
            << c.what << "\n" << text;
        EXPECT_NE(text.find("theta:\t\t"), std::string::npos) << c.what;
    }
}

// The arguments of OrvOptionPricer with their buffers.
struct PricerArgs {
    int NS = 60, Nv = 30, NT = 30;
    double S = 100, K = 100, rootT = 1, r = 0.03, d = 0;
    double params[6] = {0.5, 0.04, 0.04, 2.0, -0.7, 0.0};
    double five[5] = {0, 0, 0, 0, 0};
    double cpuTime = 0.0, tolExp = -3.0, SmaxUser = 0.0, VmaxParam = 1.0;
    int callPut = 0, exerciseType = 0, priceMode = 3, exercisePeriods = 0;
    std::vector<std::vector<double>> out = std::vector<std::vector<double>>(6, std::vector<double>(61, 7.0));

    std::string call()
    {
        platform::Bstr result = OrvOptionPricer(
            out[0].data(), out[1].data(), out[2].data(), out[3].data(), out[4].data(),
            out[5].data(), &cpuTime, S, K, NT, rootT, params, r, d, 0.0, &NS, &Nv, callPut,
            exerciseType, priceMode, 0, five, five, tolExp, SmaxUser, VmaxParam, false, false,
            true, false, exercisePeriods);
        const std::string text = platform::narrowFromBstr(result);
        platform::freeBstr(result);
        return text;
    }
};

struct PricerCase {
    const char* what;
    std::function<void(PricerArgs&)> change;
    const char* named;  // text the message must hold
};

void expectRefused(const std::vector<PricerCase>& cases)
{
    for (const PricerCase& c : cases) {
        PricerArgs args;
        c.change(args);
        std::string message;
        const double seconds = secondsOf([&] { message = args.call(); });
        EXPECT_NE(message.find(c.named), std::string::npos) << c.what << ": " << message;
        EXPECT_LT(seconds, kRefusalSeconds) << c.what;
        // Nothing was solved: the output arrays are as the caller left them.
        EXPECT_EQ(args.out[1][0], 7.0) << c.what;
    }
}

}  // namespace

TEST(BadInputs, NonFiniteValuesAreRefusedByName)
{
    expectRefused(std::vector<SolverCase>{
        {"r NaN", [](SolverArgs& a) { a.r = kNaN; }, "r is not a finite number"},
        {"d inf", [](SolverArgs& a) { a.d = kInf; }, "d is not a finite number"},
        {"v0 NaN", [](SolverArgs& a) { a.v0 = kNaN; }, "v0 is not a finite number"},
        {"vL inf", [](SolverArgs& a) { a.vL = kInf; }, "vL is not a finite number"},
        {"theta NaN", [](SolverArgs& a) { a.theta = kNaN; }, "theta is not a finite number"},
        {"volvol inf", [](SolverArgs& a) { a.volvol = kInf; }, "volvol is not a finite number"},
        {"rho NaN", [](SolverArgs& a) { a.rho = kNaN; }, "rho is not a finite number"},
        {"SmaxUser NaN", [](SolverArgs& a) { a.SmaxUser = kNaN; }, "SmaxUser is not a finite"},
        {"VmaxParam inf", [](SolverArgs& a) { a.VmaxParam = kInf; }, "VmaxParam is not a finite"},
        // e^(-r T) underflows to zero: the old result was a price of 0.27 for a call on 100.
        {"r 1e300", [](SolverArgs& a) { a.r = 1e300; }, "r is too large in magnitude"},
        {"d -1e300", [](SolverArgs& a) { a.d = -1e300; }, "d is too large in magnitude"},
    });
    expectRefused(std::vector<PricerCase>{
        {"params[1] NaN", [](PricerArgs& a) { a.params[1] = kNaN; }, "params[1] (v0) is not a"},
        {"params[0] inf", [](PricerArgs& a) { a.params[0] = kInf; }, "params[0] (volvol) is not"},
        {"params[0] overflowing", [](PricerArgs& a) { a.params[0] = 1e6; },
         "params[0] (volvol) rescaled"},
        {"params[5] NaN", [](PricerArgs& a) { a.params[5] = kNaN; }, "params[5] (modelCode)"},
        // Used to come back as a negative price with an empty message.
        {"d 1e300", [](PricerArgs& a) { a.d = 1e300; }, "d is too large in magnitude"},
        {"VmaxParam NaN", [](PricerArgs& a) { a.VmaxParam = kNaN; }, "VmaxParam is not a"},
        {"tolExp inf", [](PricerArgs& a) { a.tolExp = -kInf; }, "tolExp is not a"},
    });
}

TEST(BadInputs, NegativeVariancesRatesAndCorrelationsBeyondOneAreRefusedByName)
{
    expectRefused(std::vector<SolverCase>{
        {"v0 < 0", [](SolverArgs& a) { a.v0 = -0.01; }, "v0 must not be negative"},
        {"vL < 0", [](SolverArgs& a) { a.vL = -1; }, "vL must not be negative"},
        // Used to price a call on 100 at 42,311,345,986 after 20-40 s.
        {"theta -1", [](SolverArgs& a) { a.theta = -1; }, "theta must not be negative"},
        {"volvol < 0", [](SolverArgs& a) { a.volvol = -0.1; }, "volvol must not be negative"},
        {"rho 1.01", [](SolverArgs& a) { a.rho = 1.01; }, "rho must lie in [-1, 1]"},
        {"rho -1.5", [](SolverArgs& a) { a.rho = -1.5; }, "rho must lie in [-1, 1]"},
    });
    expectRefused(std::vector<PricerCase>{
        {"params[3] -1", [](PricerArgs& a) { a.params[3] = -1; }, "theta must not be negative"},
        {"params[2] < 0", [](PricerArgs& a) { a.params[2] = -0.04; }, "vL must not be negative"},
        {"params[4] 1.5", [](PricerArgs& a) { a.params[4] = 1.5; }, "rho must lie in [-1, 1]"},
    });
}

TEST(BadInputs, UnknownCodesAreRefusedByName)
{
    expectRefused(std::vector<SolverCase>{
        // callPut 2 used to price half a call.
        {"callPut 2", [](SolverArgs& a) { a.callPut = 2; }, "callPut must be 0 (call) or 1"},
        {"callPut -1", [](SolverArgs& a) { a.callPut = -1; }, "callPut must be 0 (call) or 1"},
        {"exerciseType -1", [](SolverArgs& a) { a.exerciseType = -1; }, "exerciseType must be"},
        {"exerciseType 3", [](SolverArgs& a) { a.exerciseType = 3; }, "exerciseType must be"},
        {"modelCode -1", [](SolverArgs& a) { a.modelCode = -1; }, "modelCode must be 0 to 4"},
        {"modelCode 5", [](SolverArgs& a) { a.modelCode = 5; }, "modelCode must be 0 to 4"},
        {"modelCode 99", [](SolverArgs& a) { a.modelCode = 99; }, "modelCode must be 0 to 4"},
    });
    expectRefused(std::vector<PricerCase>{
        {"callPut 2", [](PricerArgs& a) { a.callPut = 2; }, "callPut must be 0 (call) or 1"},
        {"exerciseType 3", [](PricerArgs& a) { a.exerciseType = 3; }, "exerciseType must be"},
        {"modelCode -1", [](PricerArgs& a) { a.params[5] = -1; }, "modelCode must be 0 to 4"},
        {"modelCode 4.5", [](PricerArgs& a) { a.params[5] = 4.5; }, "modelCode must be 0 to 4"},
        {"modelCode 99", [](PricerArgs& a) { a.params[5] = 99; }, "modelCode must be 0 to 4"},
    });
}

TEST(BadInputs, SizesThatOverflowOrCannotBeLaidAreRefusedUpFront)
{
    expectRefused(std::vector<SolverCase>{
        {"NS INT_MAX", [](SolverArgs& a) { a.NS = INT_MAX; }, "NS must lie in [0, 1000000]"},
        {"Nv INT_MAX", [](SolverArgs& a) { a.Nv = INT_MAX; }, "Nv must lie in [0, 1000000]"},
        {"NT INT_MAX", [](SolverArgs& a) { a.NT = INT_MAX; }, "NT must lie in [0, 1000000]"},
        {"NS x Nv", [](SolverArgs& a) { a.NS = 100000; a.Nv = 1000; }, "The grid of NS = 100000 by Nv = 1000 has more than"},
    });
    expectRefused(std::vector<PricerCase>{
        {"Nv INT_MAX", [](PricerArgs& a) { a.Nv = INT_MAX; }, "Nv must lie in [0, 1000000]"},
        {"NT INT_MAX", [](PricerArgs& a) { a.NT = INT_MAX; }, "NT must lie in [0, 1000000]"},
        // The time grid rounds NT to a multiple of the periods: INT_MAX periods of 5 steps.
        {"exercisePeriods INT_MAX", [](PricerArgs& a) { a.exercisePeriods = INT_MAX; },
         "exercisePeriods = 2147483647 needs more than"},
    });
}

TEST(BadInputs, FailedSolvesGiveTheErrorValueNotAPrice)
{
    // Each of these used to come back as 0.0, a legitimate price. The robust solve's own record
    // tells why.
    expectRefused({{"one spot interval", [](SolverArgs& a) { a.NS = 1; }, "generating the PDE grid"},
                   {"four variance intervals", [](SolverArgs& a) { a.Nv = 4; }, "variance intervals"},
                   {"scheme 10, volatility model", [](SolverArgs& a) { a.scheme = 10; a.modelCode = 2; },
                    "square-root and GARCH variance laws only"}},
                  false);
}

TEST(BadInputs, EdgesOfTheAcceptedInputsStillPriceWithinTheBounds)
{
    fixtures::Files files;
    AnalyticHestonEngine engine = createGaussLobatto(1e-13, 1000000);
    const std::vector<SolverCase> cases = {
        {"negative rate", [](SolverArgs& a) { a.r = -0.01; }, ""},
        {"negative dividend yield", [](SolverArgs& a) { a.d = -0.02; }, ""},
        {"zero correlation", [](SolverArgs& a) { a.rho = 0.0; }, ""},
        {"correlation -1", [](SolverArgs& a) { a.rho = -1.0; }, ""},
        {"volvol near zero", [](SolverArgs& a) { a.volvol = 1e-4; }, ""},
        {"put", [](SolverArgs& a) { a.callPut = 1; }, ""},
    };
    for (const SolverCase& c : cases) {
        SolverArgs args;
        c.change(args);
        const double price = args.call();
        // The semi-analytic Heston price of the same contract; 1 % covers this coarse grid.
        const double exact =
            hestonVanillaPrice(engine, args.S, args.K, args.T, args.r, args.d, args.v0, args.vL,
                               args.theta, std::max(args.volvol, 1e-3), args.rho,
                               args.callPut == 0 ? 1 : -1);
        EXPECT_NEAR(price, exact, 0.01 * exact) << c.what;
    }
    // Deterministic variance: v0 = vL and no volatility of variance is Black-Scholes.
    SolverArgs flat;
    flat.volvol = 0.0;
    EXPECT_GT(flat.call(), 0.0);
    EXPECT_EQ(files.solverLog(), "");
}
