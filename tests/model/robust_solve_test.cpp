#include "model/robust_solve.h"

#include "model/solver_failure_log.h"
#include "numerics/black_scholes.h"
#include "numerics/numerical_error.h"
#include "platform/platform.h"

#include "model/support/scripted_schemes.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// --- one solve's scripted outcome ------------------------------------------------------------

struct Step {
    enum Kind { Price, Throw, BadAlloc } kind = Price;
    double price = 0.0;
    double safe = 0.0;
    std::string message;
};

Step priced(double price, double safe) { return Step{Step::Price, price, safe, ""}; }
Step priced(double price) { return priced(price, price); }
Step throwing(const std::string& message) { return Step{Step::Throw, 0.0, 0.0, message}; }
Step outOfMemory() { return Step{Step::BadAlloc, 0.0, 0.0, ""}; }

// Plays the steps in order; the last one repeats.
scripted::Behaviour play(std::vector<Step> steps, std::vector<double> strikePrices = {})
{
    auto index = std::make_shared<std::size_t>(0);
    return [steps, strikePrices, index](OrvHestonVanilla& o, Array<Array<double>>& outs) {
        const Step& s = steps[std::min(*index, steps.size() - 1)];
        ++*index;
        if (s.kind == Step::Throw) {
            throw NumericalError(s.message);
        }
        if (s.kind == Step::BadAlloc) {
            throw std::bad_alloc();
        }
        scripted::writeSolve(o, outs, s.price, s.safe);
        if (o.multiStrike || !strikePrices.empty()) {
            o.strikePrices = Array<double>(strikePrices.data(), strikePrices.size());
            o.strikeIVs = o.strikePrices;
        }
    };
}

// --- the log file of one test ----------------------------------------------------------------

class RobustSolve : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int counter = 0;
        path_ = "/tmp/sarnex_robust_solve_" + std::to_string(::getpid()) + "_" +
                std::to_string(++counter) + ".txt";
        std::remove(path_.c_str());
        setSolverFailureLogPath(path_);
    }
    void TearDown() override
    {
        setSolverFailureLogPath("");
        std::remove(path_.c_str());
    }
    bool logExists() const { return std::ifstream(path_).good(); }
    std::string log() const
    {
        std::ifstream in(path_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // The clock reading that the records of the call print.
    std::string calcID() const
    {
        // the first line that starts with digits followed by ": "
        const std::string text = log();
        for (std::size_t at = text.find('\n'); at != std::string::npos;
             at = text.find('\n', at + 1)) {
            std::size_t end = at + 1;
            while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
                ++end;
            if (end > at + 1 && text.compare(end, 2, ": ") == 0)
                return text.substr(at + 1, end - at - 1);
        }
        return "?";
    }

    std::string path_;
};

const std::string kStars(85, '*');
const std::string kBanner =
    "*********************************************************Possible instability issue"
    "****************************";

std::string block(int NS, int Nv, int NT, bool withStrike = true)
{
    return std::string("S:\t\t100\n") + (withStrike ? "K:\t\t100\n" : "") +
           "T:\t\t1\nr:\t\t0.05\nd:\t\t0.02\nv0:\t\t0.04\nvL:\t\t0.04\ntheta:\t\t2\n"
           "volvol:\t\t0.3\nrho:\t\t-0.7\nNS:\t\t" +
           std::to_string(NS) + "\nNv:\t\t" + std::to_string(Nv) + "\nNT:\t\t" +
           std::to_string(NT) + "\nCall/Put: \t0\nEuro/Amer:\t0\n";
}

std::string exceptionRecord(const std::string& message, int NS, int Nv, int NT, int mode = 3,
                            bool withStrike = true)
{
    return kBanner + "\n" + message + "\n" + kStars + "\n" + block(NS, Nv, NT, withStrike) +
           "Precision:\t" + std::to_string(mode) + "\n\n";
}

struct Sizes {
    int NS;
    int Nv;
    int mode;
};

double solve(Sizes& z, int NT = 120, int scheme = 6, int requestIVs = 0, bool plain = false)
{
    return RobustSvPdeSolve(100.0, 100.0, 1.0, 0.05, 0.02, 0.04, 0.04, 2.0, 0.3, -0.7, &z.NS,
                            &z.Nv, NT, 0, 0, &z.mode, scheme, requestIVs, 0.0, 0.9, 0, plain, 1);
}

double solveStrikes(std::vector<double> strikes, Array<double>& ivs, Sizes& z, int requestIVs,
                    int strikeFlag = 1)
{
    return RobustSvPdeSolveStrikes(100.0, std::move(strikes), ivs, 1.0, 0.05, 0.02, 0.04, 0.04,
                                   2.0, 0.3, -0.7, &z.NS, &z.Nv, 120, 0, 0, &z.mode, 6,
                                   requestIVs, 0.0, 0.9, 0, strikeFlag, false, 1, 1.0, 0.0);
}

// --- entry and success -----------------------------------------------------------------------

TEST_F(RobustSolve, FirstPositiveSolveReturnsItsResultAndTouchesNoLog)
{
    scripted::Install install(play({priced(6.5)}));
    Sizes z{100, 50, 3};
    EXPECT_EQ(solve(z), 6.5);
    EXPECT_EQ(scripted::calls().size(), 1u);
    EXPECT_EQ(z.NS, 100);
    EXPECT_EQ(z.Nv, 50);
    EXPECT_EQ(z.mode, 3);
    EXPECT_FALSE(logExists());
    const scripted::Call& call = scripted::calls()[0];
    EXPECT_EQ(call.schemeNumber, 6);
    EXPECT_EQ(call.NT, 120);
    EXPECT_EQ(call.clustering, 4.5);
}

TEST_F(RobustSolve, EntryAdjustsModeAndHalvesForTwoGridModes)
{
    {
        scripted::Install install(play({priced(6.5)}));
        Sizes z{300, 100, 1};
        solve(z);
        EXPECT_EQ(z.mode, 3);
        EXPECT_EQ(z.NS, 300);
    }
    {
        scripted::Install install(play({priced(6.5)}));
        Sizes z{300, 100, 5};
        solve(z);
        EXPECT_EQ(z.mode, 5);
        EXPECT_EQ(z.NS, 150);
        EXPECT_EQ(z.Nv, 50);
        ASSERT_EQ(scripted::calls().size(), 2u);  // coarse and fine
        EXPECT_EQ(scripted::calls()[0].NS, 150);
        EXPECT_EQ(scripted::calls()[1].NS, 300);
    }
    EXPECT_FALSE(logExists());
}

TEST_F(RobustSolve, ImpliedVolatilitiesAreAskedForAtEverySolve)
{
    std::vector<bool> seen;
    const double price = blackScholesPrice(100.0, 100.0, 0.05, 0.02, 0.2, 1.0, 0);
    auto steps = play({priced(-1.0), priced(price)});
    scripted::Install install([&](OrvHestonVanilla& o, Array<Array<double>>& outs) {
        seen.push_back(o.computeIVs);
        steps(o, outs);
    });
    Sizes z{100, 50, 3};
    EXPECT_NEAR(solve(z, 120, 6, 1), 0.2, 1e-10);
    EXPECT_EQ(seen, (std::vector<bool>{true, true}));
}

// --- scheme-15 fallback and ladder -----------------------------------------------------------

TEST_F(RobustSolve, NegativeValueSwitchesToSchemeFifteen)
{
    scripted::Install install(play({priced(-0.5), priced(4.0)}));
    Sizes z{100, 60, 3};
    EXPECT_EQ(solve(z), 4.0);
    ASSERT_EQ(scripted::calls().size(), 2u);
    const scripted::Call& second = scripted::calls()[1];
    EXPECT_EQ(second.routine, 15);
    EXPECT_EQ(second.schemeNumber, 15);
    EXPECT_EQ(second.NT, 40);  // 120 / 3
    EXPECT_EQ(second.NS, 133);
    EXPECT_EQ(second.Nv, 60);
    EXPECT_EQ(second.NSOriginal, 133);
    EXPECT_EQ(second.logGridFraction, 0.5);
    EXPECT_EQ(z.NS, 133);
    EXPECT_EQ(z.Nv, 60);
    // The first negative value opens the log; nothing more is written.
    EXPECT_TRUE(logExists());
    EXPECT_EQ(log(), "");
}

TEST_F(RobustSolve, FallbackSizingRules)
{
    struct Case {
        int NS, Nv, NT, scheme;
        int expectNS, expectNv, expectNT;
    };
    const Case cases[] = {
        {600, 100, 120, 6, 600, 260, 40},   // third rule: Nv = 10 NS / 23
        {100, 50, 10, 6, 133, 53, 20},      // second rule, NT clamped up to 20
        {100, 50, 400, 6, 133, 53, 50},     // NT clamped down to 50
        {100, 50, 10, 1, 133, 53, 20},      // schemes 1 and 15: max(20, NT)
        {100, 50, 400, 15, 133, 53, 400},
        {300, 250, 120, 6, 400, 160, 40},   // first rule above 400
    };
    for (const Case& c : cases) {
        scripted::Install install(play({priced(-0.5), priced(4.0)}));
        Sizes z{c.NS, c.Nv, 3};
        solve(z, c.NT, c.scheme);
        ASSERT_EQ(scripted::calls().size(), 2u);
        EXPECT_EQ(scripted::calls()[1].NS, c.expectNS) << c.NS << "x" << c.Nv;
        EXPECT_EQ(scripted::calls()[1].Nv, c.expectNv) << c.NS << "x" << c.Nv;
        EXPECT_EQ(scripted::calls()[1].NT, c.expectNT) << c.NS << "x" << c.Nv;
    }
}

TEST_F(RobustSolve, FullLadderGivesUpWithTheFailedRecord)
{
    scripted::Install install(play({priced(-0.25)}));
    Sizes z{100, 50, 3};
    EXPECT_EQ(solve(z), 0.0);

    struct Expect {
        int NS, Nv, NT, scheme, retryLevel;
        double clustering;
    };
    const Expect ladder[] = {
        {100, 50, 120, 6, 0, 4.5},   {133, 53, 40, 15, 0, 4.5},   {266, 106, 40, 15, 0, 7.5},
        {399, 159, 40, 15, 0, 7.5},  {400, 200, 40, 15, 0, 7.5},  {400, 200, 40, 15, 1, 7.5},
        {700, 180, 50, 15, 1, 7.5},  {900, 400, 50, 15, 1, 7.5},
    };
    ASSERT_EQ(scripted::calls().size(), 8u);
    for (std::size_t i = 0; i < 8; ++i) {
        const scripted::Call& call = scripted::calls()[i];
        EXPECT_EQ(call.NS, ladder[i].NS) << i;
        EXPECT_EQ(call.Nv, ladder[i].Nv) << i;
        EXPECT_EQ(call.NT, ladder[i].NT) << i;
        EXPECT_EQ(call.schemeNumber, ladder[i].scheme) << i;
        EXPECT_EQ(call.retryLevel, ladder[i].retryLevel) << i;
        EXPECT_EQ(call.clustering, ladder[i].clustering) << i;
        EXPECT_EQ(call.NSOriginal, ladder[i].NS) << i;
        EXPECT_EQ(call.iToV0, 0) << i;
    }
    EXPECT_EQ(z.NS, 900);
    EXPECT_EQ(z.Nv, 400);

    const std::string id = calcID();
    EXPECT_EQ(log(), kStars + "\n" + id +
                         ": Failed to get a positive value after 7 retries. Returning zero "
                         "instead.\n" +
                         block(900, 400, 50) + "Value:\t-0.25\n" + kStars + "\n");
}

// Each attempt in Richardson in time solves on two shares of its step count; a retry of the same
// object splits its own count again, not the second share of the last attempt.
TEST_F(RobustSolve, TimeExtrapolatedRetriesSplitTheirOwnStepCount)
{
    scripted::Install install(play({priced(-0.25)}));
    Sizes z{200, 100, 4};
    solve(z);
    const int attemptNT[] = {120, 40, 40, 40, 40, 40, 40, 50, 50};
    ASSERT_EQ(scripted::calls().size(), 18u);
    for (std::size_t i = 0; i < 9; ++i)
        EXPECT_EQ(scripted::calls()[2 * i].NT + scripted::calls()[2 * i + 1].NT, attemptNT[i]) << i;
}

TEST_F(RobustSolve, LadderFromSchemeTwoTakesThreeHundredStepsOnTheStage)
{
    // A zero value at Nv >= 240 enters the denser stage without the fallback, so the scheme in
    // force stays 2 and the 700 x 180 step takes 300 time steps.
    {
        scripted::Install install(play({priced(0.0), priced(-1.0)}));
        Sizes z{400, 280, 3};
        solve(z, 120, 2);
        ASSERT_GE(scripted::calls().size(), 3u);
        EXPECT_EQ(scripted::calls()[1].NS, 400);
        EXPECT_EQ(scripted::calls()[1].Nv, 210);
        EXPECT_EQ(scripted::calls()[1].retryLevel, 1);
        EXPECT_EQ(scripted::calls()[1].NSOriginal, 400);
        EXPECT_EQ(scripted::calls()[2].NS, 700);
        EXPECT_EQ(scripted::calls()[2].Nv, 180);
        EXPECT_EQ(scripted::calls()[2].NT, 300);
        EXPECT_EQ(scripted::calls()[2].schemeNumber, 2);
    }
    // Above 225 variance intervals the stage has no larger grid: the call gives up.
    scripted::Install install(play({priced(0.0), priced(-1.0)}));
    Sizes wide{400, 320, 3};
    solve(wide, 120, 2);
    EXPECT_EQ(scripted::calls().size(), 2u);
    EXPECT_EQ(wide.Nv, 240);
}

TEST_F(RobustSolve, LadderThatCannotGrowGivesUp)
{
    // Too few variance intervals to grow by half: the ladder must end, not repeat a step.
    scripted::Install install(play({priced(-0.25)}));
    Sizes z{2, 0, 3};
    EXPECT_EQ(solve(z), 0.0);
    EXPECT_LT(scripted::calls().size(), 20u);
    EXPECT_NE(log().find("Failed to get a positive value"), std::string::npos);
}

TEST_F(RobustSolve, GiveUpAfterAPositivePriceReturnsThatResultAndLogsNothing)
{
    scripted::Install install(play({priced(3.2, -0.1), priced(-0.25)}));
    Sizes z{100, 50, 3};
    EXPECT_EQ(solve(z), 3.2);
    EXPECT_EQ(scripted::calls().size(), 8u);
    EXPECT_EQ(log(), "");
}

TEST_F(RobustSolve, PlainModeOnRetrySwitchesToOneSolve)
{
    scripted::Install install(play({priced(-0.5), priced(4.0)}));
    Sizes z{200, 100, 5};
    EXPECT_EQ(solve(z, 120, 6, 0, true), 4.0);
    EXPECT_EQ(z.mode, 3);
    // The coarse solve of mode 5 found no price, so no fine solve; then one plain solve.
    EXPECT_EQ(scripted::calls().size(), 2u);
}

// --- zero values, restarts and memory retries ------------------------------------------------

TEST_F(RobustSolve, FourInstabilitiesRestartThreeTimesThenReturnZero)
{
    scripted::Install install(play({priced(0.0)}));
    Sizes z{100, 50, 3};
    EXPECT_EQ(solve(z), 0.0);
    EXPECT_EQ(scripted::calls().size(), 4u);
    const std::string id = calcID();
    const std::string record = exceptionRecord("Possible instability issue", 100, 50, 120);
    const std::string line = id + ": Possible instability issue. Retrying evaluation : 0\n";
    EXPECT_EQ(log(), record + line + record + line + record + line + record);
}

TEST_F(RobustSolve, NoPriceMarkerIsNotASuccess)
{
    // A solve that had no usable price reports the marker; it must not end the call as a price.
    scripted::Install install(play({priced(5.0, 1e-16), priced(4.0)}));
    Sizes z{100, 50, 3};
    EXPECT_EQ(solve(z), 4.0);
    EXPECT_EQ(scripted::calls().size(), 2u);
}

TEST_F(RobustSolve, RestartsDoNotHalveTheGridsAgain)
{
    scripted::Install install(play({priced(0.0), priced(0.0), priced(4.0)}));
    Sizes z{300, 100, 5};
    EXPECT_GT(solve(z), 0.0);
    ASSERT_EQ(scripted::calls().size(), 4u);  // two failed coarse solves, then coarse and fine
    EXPECT_EQ(scripted::calls()[0].NS, 150);
    EXPECT_EQ(scripted::calls()[1].NS, 150);
    EXPECT_EQ(scripted::calls()[2].NS, 150);
    EXPECT_EQ(scripted::calls()[3].NS, 300);
    EXPECT_EQ(z.NS, 150);
    EXPECT_EQ(z.Nv, 50);
}

TEST_F(RobustSolve, UnknownSchemeNumberIsLoggedAndPricesNothing)
{
    scripted::Install install(play({priced(4.0)}));
    Sizes z{100, 50, 3};
    EXPECT_EQ(solve(z, 120, 16), 0.0);
    EXPECT_TRUE(scripted::calls().empty());
    EXPECT_EQ(log(), exceptionRecord("Unknown scheme number 16: the time-stepping schemes are "
                                     "numbered 1 to 15",
                                     100, 50, 120));
}

TEST_F(RobustSolve, OtherFailuresAreLoggedAndReturnZero)
{
    scripted::Install install(play({throwing("Poly_interp error")}));
    Sizes z{100, 50, 3};
    EXPECT_EQ(solve(z), 0.0);
    EXPECT_EQ(scripted::calls().size(), 1u);
    EXPECT_EQ(log(), exceptionRecord("Poly_interp error", 100, 50, 120));
}

TEST_F(RobustSolve, MemoryFailureIsRetriedWithTheSameObject)
{
    scripted::Install install(play({outOfMemory(), priced(4.0)}));
    Sizes z{100, 50, 3};
    EXPECT_EQ(solve(z), 4.0);
    EXPECT_EQ(scripted::calls().size(), 2u);
    const std::string id = calcID();
    EXPECT_EQ(log(), exceptionRecord("bad allocation", 100, 50, 120) + id +
                         ": Failed to allocate memory. Retrying evaluation:1\n");
}

TEST_F(RobustSolve, ThirdMemoryFailureEndsTheCall)
{
    scripted::Install install(play({outOfMemory()}));
    Sizes z{100, 50, 3};
    EXPECT_EQ(solve(z), 0.0);
    EXPECT_EQ(scripted::calls().size(), 3u);
    const std::string id = calcID();
    const std::string record = exceptionRecord("bad allocation", 100, 50, 120);
    EXPECT_EQ(log(), record + id + ": Failed to allocate memory. Retrying evaluation:1\n" +
                         record + id + ": Failed to allocate memory. Retrying evaluation:2\n" +
                         record);
}

TEST_F(RobustSolve, SuccessAfterNegativeValueAndMemoryRetryIsRecorded)
{
    scripted::Install install(play({priced(-0.5), outOfMemory(), priced(2.5)}));
    Sizes z{100, 50, 3};
    EXPECT_EQ(solve(z), 2.5);
    const std::string id = calcID();
    EXPECT_EQ(log(), exceptionRecord("bad allocation", 133, 53, 40) + id +
                         ": Failed to allocate memory. Retrying evaluation:1\n" + kStars + "\n" +
                         id +
                         ": Succeeded at re-evaluation 2 with NS = 133, NV = 53 and NT = 40. "
                         "Value is: 2.5.\n" +
                         kStars + "\n\n");
}

TEST_F(RobustSolve, DenserStageZeroValuesEndInTheMemoryGiveUpRecord)
{
    // Negative (opens the log, fallback to 600 x 260), then zero values with a positive price:
    // the jump to 400 x 195, two re-solves, then the give-up.
    scripted::Install install(play({priced(-0.5), priced(3.5, 0.0)}));
    Sizes z{600, 100, 3};
    EXPECT_EQ(solve(z, 100, 15), 3.5);
    ASSERT_EQ(scripted::calls().size(), 5u);
    EXPECT_EQ(scripted::calls()[1].Nv, 260);
    EXPECT_EQ(scripted::calls()[2].NS, 400);
    EXPECT_EQ(scripted::calls()[2].Nv, 195);
    const std::string id = calcID();
    EXPECT_EQ(log(), kStars + "\n" + id +
                         ": There was a memory failure so returning the best we could do which "
                         "was...: 3.5.\n" +
                         kStars + "\n\n");
}

// --- strikes solve ---------------------------------------------------------------------------

TEST_F(RobustSolve, StrikesSolveReturnsTheVolatilitiesOfTheFinalSolve)
{
    const std::vector<double> sorted{90.0, 110.0};
    const double p0 = blackScholesPrice(100.0, 90.0, 0.05, 0.02, 0.22, 1.0, 1);
    const double p1 = blackScholesPrice(100.0, 110.0, 0.05, 0.02, 0.18, 1.0, 0);
    scripted::Install install(play({priced(0.0, 0.7)}, {p0, p1}));
    Sizes z{100, 50, 3};
    Array<double> ivs;
    EXPECT_EQ(solveStrikes({110.0, 90.0}, ivs, z, 1), 0.7);
    ASSERT_EQ(ivs.size(), 2u);
    EXPECT_NEAR(ivs[0], 0.22, 1e-10);
    EXPECT_NEAR(ivs[1], 0.18, 1e-10);
    EXPECT_FALSE(logExists());
}

TEST_F(RobustSolve, StrikesSolveWithAnEmptyListAndWithOneStrike)
{
    scripted::Install install(play({priced(1.5)}));
    Sizes z{100, 50, 3};
    Array<double> ivs(3.0, 2);
    EXPECT_EQ(solveStrikes({}, ivs, z, 0), 1.5);
    EXPECT_EQ(ivs.size(), 0u);
}

TEST_F(RobustSolve, StrikesGiveUpRecordsTheLowestPriceWithoutAStrikeLine)
{
    scripted::Install install(play({priced(0.0, -0.5)}, {-0.75, 2.0}));
    Sizes z{100, 50, 3};
    Array<double> ivs(9.0, 2);
    EXPECT_EQ(solveStrikes({90.0, 110.0}, ivs, z, 1), 0.0);
    ASSERT_EQ(ivs.size(), 2u);  // no solve had every price positive: the zeros of the start
    EXPECT_EQ(ivs[0], 0.0);
    EXPECT_EQ(ivs[1], 0.0);
    const std::string id = calcID();
    EXPECT_EQ(log(), kStars + "\n" + id +
                         ": Failed to get a positive value after 7 retries. Returning zero "
                         "instead.\n" +
                         block(900, 400, 50, false) + "Value:\t-0.75\n" + kStars + "\n");
}

TEST_F(RobustSolve, StrikesSolveRemembersTheLastAllPositiveVolatilities)
{
    const double p0 = blackScholesPrice(100.0, 90.0, 0.05, 0.02, 0.25, 1.0, 1);
    const double p1 = blackScholesPrice(100.0, 110.0, 0.05, 0.02, 0.2, 1.0, 0);
    // The first solve has every strike priced but an unstable safe value; then the ladder fails
    // with one strike unpriced.
    auto first = play({priced(0.0, -0.1)}, {p0, p1});
    auto rest = play({priced(0.0, -0.1)}, {p0, -0.2});
    scripted::Install install([&](OrvHestonVanilla& o, Array<Array<double>>& outs) {
        if (scripted::calls().size() == 1) {
            first(o, outs);
        } else {
            rest(o, outs);
        }
    });
    Sizes z{100, 50, 3};
    Array<double> ivs;
    EXPECT_EQ(solveStrikes({90.0, 110.0}, ivs, z, 1), 0.0);
    ASSERT_EQ(ivs.size(), 2u);
    EXPECT_NEAR(ivs[0], 0.25, 1e-10);
    EXPECT_NEAR(ivs[1], 0.2, 1e-10);
    EXPECT_NE(log().find("Value:\t-0.2\n"), std::string::npos);
}

TEST_F(RobustSolve, StrikesExceptionRecordHasNoStrikeLineAndLeavesTheOutputAlone)
{
    scripted::Install install(play({throwing("hunt size error")}));
    Sizes z{100, 50, 3};
    Array<double> ivs(9.0, 2);
    EXPECT_EQ(solveStrikes({90.0, 110.0}, ivs, z, 1), 0.0);
    EXPECT_EQ(ivs[0], 9.0);
    EXPECT_EQ(log(), exceptionRecord("hunt size error", 100, 50, 120, 3, false));
}

TEST_F(RobustSolve, StrikeFlagTwoSizesTheFallbackFromTheEntrySpotIntervals)
{
    scripted::Install install(play({priced(0.0, -0.5), priced(0.0, 1.0)}, {1.0, 1.0}));
    Sizes z{100, 50, 3};
    Array<double> ivs;
    solveStrikes({90.0, 110.0}, ivs, z, 0, 2);
    ASSERT_EQ(scripted::calls().size(), 2u);
    EXPECT_EQ(scripted::calls()[1].NS, 133);
}

// --- telling a failure from a price ----------------------------------------------------------

TEST_F(RobustSolve, StatusTellsAFailureFromAPrice)
{
    // S = K = 100, r 0.05, d 0.02, T 1: a call is worth at most 100; the tolerance is 0.1 % of it.
    struct Case {
        const char* what;
        std::vector<Step> steps;
        int requestIVs;
        bool failed;
        double result;
        const char* message;
    };
    const Case cases[] = {
        {"first solve priced", {priced(6.5)}, 0, false, 6.5, ""},
        {"at the bound within the tolerance", {priced(100.09)}, 0, false, 100.09, ""},
        {"give-up after a positive price", {priced(3.2, -0.1), priced(-0.25)}, 0, false, 3.2, ""},
        {"give-up without one", {priced(-0.25)}, 0, true, 0.0, "Failed to get a positive value"},
        {"four instabilities", {priced(0.0)}, 0, true, 0.0, "Possible instability issue"},
        {"other exception", {throwing("Poly_interp error")}, 0, true, 0.0, "Poly_interp error"},
        {"above the call bound", {priced(150.0)}, 0, true, 0.0, "The price 150 lies outside"},
        {"below zero after the give-up", {priced(-5.0, 1.0)}, 0, true, 0.0, "lies outside"},
        // Below the value at zero volatility, 98.02 - 95.12: no volatility reproduces it.
        {"no implied volatility", {priced(1.0)}, 1, true, 0.0, "No implied volatility"},
    };
    for (const Case& c : cases) {
        scripted::Install install(play(c.steps));
        Sizes z{100, 50, 3};
        RobustSolveStatus status;
        const double result =
            RobustSvPdeSolve(100.0, 100.0, 1.0, 0.05, 0.02, 0.04, 0.04, 2.0, 0.3, -0.7, &z.NS,
                             &z.Nv, 120, 0, 0, &z.mode, 6, c.requestIVs, 0.0, 0.9, 0, false, 1,
                             &status);
        EXPECT_EQ(status.failed, c.failed) << c.what;
        EXPECT_EQ(result, c.result) << c.what;
        EXPECT_NE(status.message.find(c.message), std::string::npos) << c.what;
        if (c.failed) {
            // Every failure has its record.
            EXPECT_NE(log().find("*****"), std::string::npos) << c.what;
        }
    }
    EXPECT_NE(log().find("The price 150 lies outside [0, 100]"), std::string::npos);
}

// The export's checks of parameters, codes and grid sizes, and the strikes' own, before any solve.
TEST_F(RobustSolve, InputsNoModelCanPriceAreRefusedBeforeAnySolve)
{
    struct Case {
        double strike, theta, vMean;
        int NS, callPut;
        const char* message;
    };
    const double nan = std::nan("");
    const Case cases[] = {
        {110, -1.0, 0.0, 100, 0, "theta must not be negative"},
        {110, 2.0, 0.0, 100, 2, "callPut must be 0 (call) or 1"},
        {110, 2.0, 0.0, INT_MAX, 0, "NS must lie in [0, 1000000]"},
        {nan, 2.0, 0.0, 100, 0, "strike 1 must be a positive number"},
        {110, 2.0, nan, 100, 0, "vMean is not a finite number"},
    };
    for (const Case& c : cases) {
        scripted::Install install(play({priced(4.0)}));
        Sizes z{c.NS, 50, 3};
        Array<double> ivs(9.0, 2);
        RobustSolveStatus status;
        const double value = RobustSvPdeSolveStrikes(
            100.0, {90.0, c.strike}, ivs, 1.0, 0.05, 0.02, 0.04, 0.04, c.theta, 0.3, -0.7, &z.NS,
            &z.Nv, 120, c.callPut, 0, &z.mode, 6, 1, 0.0, 0.9, 0, 1, false, 1, 1.0, c.vMean, &status);
        EXPECT_EQ(value, 0.0) << c.message;
        EXPECT_TRUE(status.failed) << c.message;
        EXPECT_EQ(status.strikeFailed, (std::vector<bool>{true, true})) << c.message;
        EXPECT_NE(status.message.find(c.message), std::string::npos) << status.message;
        EXPECT_TRUE(scripted::calls().empty()) << c.message;
        EXPECT_EQ(ivs[0], 9.0) << c.message;
        EXPECT_NE(log().find(c.message), std::string::npos) << c.message;
    }
}

TEST_F(RobustSolve, StrikesStatusFlagsEachStrikeWithoutAUsablePrice)
{
    // Ascending strikes 90, 100, 110, 120: a put below the spot at vol 0.25; an at-the-money put
    // at 130, above its bound max(100, 100 e^-0.05) = 100 and the call bound 100 (yet inside the
    // read-out's own window of 1.5 K); a call at 90, within the bounds but above its price at
    // volatility 2 (about 66), so without an implied volatility; and a call at vol 0.2. With only
    // the first and the last, nothing is flagged.
    const double p90 = blackScholesPrice(100.0, 90.0, 0.05, 0.02, 0.25, 1.0, 1);
    const double p120 = blackScholesPrice(100.0, 120.0, 0.05, 0.02, 0.2, 1.0, 0);
    for (const bool all : {true, false}) {
        scripted::Install install(play({priced(0.0, 1.0)}, all ? std::vector<double>{p90, 130.0, 90.0, p120}
                                                               : std::vector<double>{p90, p120}));
        Sizes z{100, 50, 3};
        Array<double> ivs;
        RobustSolveStatus status;
        RobustSvPdeSolveStrikes(100.0, all ? std::vector<double>{120.0, 90.0, 110.0, 100.0}
                                           : std::vector<double>{120.0, 90.0},
                                ivs, 1.0, 0.05, 0.02, 0.04, 0.04, 2.0, 0.3, -0.7, &z.NS, &z.Nv, 120,
                                1, 0, &z.mode, 6, 1, 0.0, 0.9, 0, 0, false, 1, 1.0, 0.0, &status);
        EXPECT_EQ(status.failed, all);
        EXPECT_EQ(status.message.find("Strike 100: The price 130 lies outside") != std::string::npos, all);
        EXPECT_EQ(status.strikeFailed, (all ? std::vector<bool>{false, true, true, false}
                                            : std::vector<bool>{false, false}));
        // The call at 90 has a price, just no volatility: a calibration keeps fitting through it.
        EXPECT_EQ(status.strikeWithoutIV, (all ? std::vector<bool>{false, false, true, false}
                                               : std::vector<bool>{false, false}));
        EXPECT_NEAR(ivs[0], 0.25, 1e-10);
        EXPECT_NEAR(ivs[ivs.size() - 1], 0.2, 1e-10);
    }
    EXPECT_NE(log().find("Strike 100: The price 130 lies outside"), std::string::npos);
    // Only the price no model can give is logged: wings without a volatility are routine.
    EXPECT_EQ(log().find("No implied volatility"), std::string::npos);
}

TEST(SolverFailureLog, LivesBesideTheModule)
{
    setSolverFailureLogPath("");
    EXPECT_EQ(solverFailureLogPath(), platform::pathBesideModule("SV_PDESolverLog.txt"));
    // Precision 16 in the default notation.
    SolverLogParameters p;
    p.S = 1.0 / 3.0;
    p.hasStrike = false;
    EXPECT_EQ(solverLogParameterBlock(p).substr(0, 23), "S:\t\t0.3333333333333333\n");
}

}  // namespace
