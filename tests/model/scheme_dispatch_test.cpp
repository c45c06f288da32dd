#include "model/scheme_dispatch.h"

#include "numerics/black_scholes.h"
#include "numerics/numerical_error.h"

#include "model/support/model_params.h"
#include "model/support/scripted_schemes.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

Array<double> params(double code) { return modelParamArray(0.5, 0.04, 0.04, 2.0, -0.5, code); }

std::unique_ptr<OrvHestonVanilla> option(int scheme, double code = 1.0, int callPut = 0)
{
    return std::make_unique<OrvHestonVanilla>(
        100.0, 105.0, 0.5, params(code), 0.03, 0.01, 60, 30, 40, callPut, 3, 1, 0,
        Array<double>(0.0, 5), Array<double>(0.0, 5), true, -3.0, 0.0, 0.9, 0, true, 0, 0.0,
        scheme, false);
}

std::unique_ptr<OrvHestonVanilla> strikesOption(std::vector<double> strikes, int scheme = 1)
{
    return std::make_unique<OrvHestonVanilla>(
        100.0, std::move(strikes), 0.5, params(1.0), 0.03, 0.01, 60, 30, 40, 0, 3, 1, 0,
        Array<double>(0.0, 5), Array<double>(0.0, 5), true, -3.0, 0.0, 0.9, 0, true, 0, 0.0,
        scheme, false, true, 1.0, 0.0);
}

void dispatch(OrvHestonVanilla& o, double* cpu)
{
    Array<Array<double>> outs(5);
    std::vector<double> a, b, c;
    o.PricingSchemeDispatch(outs, cpu, true, true, 0.0, &a, &b, 0.0, &c, false, false, false);
}

// A routine that writes `price` as the scheme would.
scripted::Behaviour pricing(double price)
{
    return [price](OrvHestonVanilla& o, Array<Array<double>>& outs) {
        scripted::writeSolve(o, outs, price, price);
    };
}

TEST(SchemeDispatch, MemberTableSharesRoutinesAndDampsTheSecondOfEachPair)
{
    const SchemeRoutineTable& t = memberSchemeRoutines();
    EXPECT_EQ(t.routine[2], t.routine[4]);
    EXPECT_EQ(t.routine[3], t.routine[5]);
    EXPECT_EQ(t.routine[6], t.routine[8]);
    EXPECT_EQ(t.routine[7], t.routine[9]);
    const int distinct[] = {1, 2, 3, 6, 7, 10, 11, 12, 13, 14, 15};
    for (int a : distinct) {
        for (int b : distinct) {
            if (a != b) {
                EXPECT_NE(t.routine[a], t.routine[b]) << a << " " << b;
            }
        }
    }
    for (int n = 1; n <= 15; ++n) {
        const bool damped = n == 4 || n == 5 || n == 8 || n == 9 || n == 10 || n == 14;
        EXPECT_EQ(t.damped[n], damped) << n;
    }
}

TEST(SchemeDispatch, CallsTheSchemesRoutineWithTheFlagsSwappedAndTheFixedTail)
{
    scripted::Install install(pricing(4.0));
    for (int scheme = 1; scheme <= 15; ++scheme) {
        auto o = option(scheme);
        double cpu = -7.0;
        Array<Array<double>> outs(5);
        std::vector<double> a, b, c;
        // flag false, fillOutputs true: the routine gets fillOutputs first.
        o->PricingSchemeDispatch(outs, &cpu, false, true, 0.0, &a, &b, 0.0, &c, false, false,
                                 false);
        ASSERT_EQ(scripted::calls().size(), static_cast<std::size_t>(scheme));
        const scripted::Call& call = scripted::calls().back();
        const int expectedRoutine[16] = {0, 1, 2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 12, 13, 14, 15};
        EXPECT_EQ(call.routine, expectedRoutine[scheme]);
        EXPECT_EQ(call.dampingFlag, memberSchemeRoutines().damped[scheme]) << scheme;
        EXPECT_TRUE(call.fillOutputs);
        EXPECT_FALSE(call.unusedFlag);
        EXPECT_FALSE(call.widenSGrid);
        EXPECT_FALSE(call.widenVmax);
        EXPECT_EQ(call.sGridParam, 0.0);
        EXPECT_EQ(call.vGridStretch, 0.0);
        EXPECT_GE(cpu, 0.0);  // the clock difference in seconds replaces the input
        EXPECT_EQ(o->results[4], 4.0);  // computeIVs is false: the price stays
    }
}

TEST(SchemeDispatch, DampingFlagIsOnlyEverSet)
{
    scripted::Install install(pricing(4.0));
    auto o = option(4);
    double cpu = 0.0;
    dispatch(*o, &cpu);
    EXPECT_TRUE(o->dampingFlag);
    o->schemeNumber = 2;
    dispatch(*o, &cpu);
    EXPECT_TRUE(scripted::calls().back().dampingFlag);  // the undamped number finds it set
    EXPECT_EQ(scripted::calls().back().routine, 2);
}

TEST(SchemeDispatch, SchemeNumberOutsideTheTableIsAnError)
{
    scripted::Install install(pricing(4.0));
    for (int scheme : {0, 16, -1}) {
        auto o = option(scheme);
        o->results[2] = 3.0;  // a previous solve's price must not pass for this one's
        double cpu = 0.0;
        try {
            dispatch(*o, &cpu);
            FAIL() << "scheme " << scheme << " priced";
        } catch (const NumericalError& e) {
            EXPECT_NE(std::string(e.what()).find(std::to_string(scheme)), std::string::npos);
        }
        EXPECT_FALSE(o->dampingFlag);
    }
    EXPECT_TRUE(scripted::calls().empty());
}

TEST(SchemeDispatch, PlausibilityRuleForOrvX1AndXgbmOnlyWithStrictBounds)
{
    struct Case {
        double code;
        double safe;
        double expected;
    };
    const Case cases[] = {
        {2.0, 5000.0, 5000.0},         // exactly 50 S
        {2.0, -5.0, -5.0},             // exactly -0.05 S
        {2.0, 5000.000001, 1e-16},     // just above
        {4.0, -5.000001, 1e-16},       // just below
        {1.0, 1e6, 1e6},               // other models are not tested
        {0.0, -1e6, -1e6},
        {3.0, 1e6, 1e6},
    };
    for (const Case& c : cases) {
        scripted::Install install([&c](OrvHestonVanilla& o, Array<Array<double>>& outs) {
            scripted::writeSolve(o, outs, 1.0, c.safe);
        });
        auto o = option(6, c.code);
        double cpu = 0.0;
        dispatch(*o, &cpu);
        EXPECT_EQ(o->results[2], c.expected) << c.code << " " << c.safe;
    }
}

TEST(SchemeDispatch, SingleStrikeImpliedVolatility)
{
    // A call priced at 23 % volatility comes back as 0.23.
    const double price = blackScholesPrice(100.0, 105.0, 0.03, 0.01, 0.23, 0.5, 0);
    {
        scripted::Install install(pricing(price));
        auto o = option(6);
        o->computeIVs = true;
        double cpu = -1.0;
        dispatch(*o, &cpu);
        EXPECT_NEAR(o->results[4], 0.23, 1e-12);
        EXPECT_EQ(o->results[1], price);
    }
    // Negative price: 0 without a search.
    {
        scripted::Install install(pricing(-1e-9));
        auto o = option(6);
        o->computeIVs = true;
        double cpu = -1.0;
        dispatch(*o, &cpu);
        EXPECT_EQ(o->results[4], 0.0);
    }
    // A price above the volatility-2 price cannot be bracketed: no volatility, and the call
    // returns normally (the price must not stand in for a volatility).
    {
        scripted::Install install(pricing(99.0));
        auto o = option(6);
        o->computeIVs = true;
        double cpu = -1.0;
        EXPECT_NO_THROW(dispatch(*o, &cpu));
        EXPECT_EQ(o->results[4], 0.0);
        EXPECT_EQ(o->results[2], 99.0);
    }
}

TEST(SchemeDispatch, PerStrikeImpliedVolatilitiesWithTheirWindow)
{
    // Strikes 90 (put), 100 (= S, put), 110 (call), 120 (call). K = 90, window [-2, 135].
    const std::vector<double> strikes{120.0, 90.0, 110.0, 100.0};
    const double sigma[] = {0.31, 0.27, 0.22, 0.19};
    std::vector<double> prices(4);
    const std::vector<double> sorted{90.0, 100.0, 110.0, 120.0};
    for (int i = 0; i < 4; ++i) {
        prices[i] = blackScholesPrice(100.0, sorted[i], 0.03, 0.01, sigma[i], 0.5,
                                      sorted[i] <= 100.0 ? 1 : 0);
    }
    auto perStrike = [](std::vector<double> p) {
        return [p](OrvHestonVanilla& o, Array<Array<double>>& outs) {
            scripted::writeSolve(o, outs, 0.0, 0.5);
            o.strikePrices = Array<double>(p.data(), p.size());
            o.strikeIVs = o.strikePrices;
        };
    };
    {
        scripted::Install install(perStrike(prices));
        auto o = strikesOption(strikes);
        o->computeIVs = true;
        double cpu = -1.0;
        dispatch(*o, &cpu);
        ASSERT_EQ(o->strikeIVs.size(), 4u);
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(o->strikeIVs[i], sigma[i], 1e-12) << i;
        }
        EXPECT_EQ(o->results[2], 0.5);
    }
    // 0 and a window edge: 0 volatility; 1.5 K and -0.02 S are inside, above 1.5 K is outside.
    {
        scripted::Install install(perStrike({0.0, -2.0, 135.0, 135.5}));
        auto o = strikesOption(strikes);
        o->computeIVs = true;
        double cpu = -1.0;
        dispatch(*o, &cpu);
        EXPECT_EQ(o->strikeIVs[0], 0.0);
        EXPECT_EQ(o->strikeIVs[1], 0.0);
        EXPECT_EQ(o->strikeIVs[3], 0.0);
        EXPECT_EQ(o->results[2], 1e-16);  // 135.5 was outside the window
    }
    // An unbracketable strike gets 0 and the later strikes are still searched.
    {
        std::vector<double> p = prices;
        p[1] = 99.0;  // far above the volatility-2 price of the 100 put
        scripted::Install install(perStrike(p));
        auto o = strikesOption(strikes);
        o->computeIVs = true;
        double cpu = -1.0;
        EXPECT_NO_THROW(dispatch(*o, &cpu));
        EXPECT_NEAR(o->strikeIVs[0], sigma[0], 1e-12);
        EXPECT_EQ(o->strikeIVs[1], 0.0);
        EXPECT_NEAR(o->strikeIVs[2], sigma[2], 1e-12);
        EXPECT_NEAR(o->strikeIVs[3], sigma[3], 1e-12);
    }
    // A routine that fills no per-strike prices: no volatilities, no out-of-range reads.
    {
        scripted::Install install(pricing(3.0));
        auto o = strikesOption(strikes);
        o->computeIVs = true;
        double cpu = -1.0;
        dispatch(*o, &cpu);
        ASSERT_EQ(o->strikeIVs.size(), 4u);
        for (double v : o->strikeIVs) {
            EXPECT_EQ(v, 0.0);
        }
    }
    // Without implied volatilities the routine's copies stay.
    {
        scripted::Install install(perStrike(prices));
        auto o = strikesOption(strikes);
        double cpu = 0.0;
        dispatch(*o, &cpu);
        EXPECT_EQ(o->strikeIVs[2], prices[2]);
    }
}

TEST(SchemeDispatch, FailuresPassOnByMessageText)
{
    const auto throwing = [](auto make) {
        return [make](OrvHestonVanilla&, Array<Array<double>>&) { make(); };
    };
    // Memory failures carry the text the robust solves look for, whatever the library says.
    {
        scripted::Install install(throwing([] { throw std::bad_alloc(); }));
        auto o = option(6);
        double cpu = 0.0;
        try {
            dispatch(*o, &cpu);
            FAIL();
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), "bad allocation");
        }
    }
    {
        scripted::Install install(throwing([] { throw std::runtime_error("Poly_interp error"); }));
        auto o = option(6);
        double cpu = 5.0;
        try {
            dispatch(*o, &cpu);
            FAIL();
        } catch (const NumericalError& e) {
            EXPECT_STREQ(e.what(), "Poly_interp error");
        }
        EXPECT_EQ(cpu, 5.0);  // written only when the routine returns
    }
    // The bracketing text is absorbed.
    {
        scripted::Install install(
            throwing([] { throw NumericalError("Root must be bracketed in Brent solver"); }));
        auto o = option(6);
        double cpu = 5.0;
        EXPECT_NO_THROW(dispatch(*o, &cpu));
        EXPECT_EQ(cpu, 5.0);
    }
    // Anything that is not a std::exception passes untouched.
    {
        scripted::Install install(throwing([] { throw 42; }));
        auto o = option(6);
        double cpu = 0.0;
        EXPECT_THROW(dispatch(*o, &cpu), int);
    }
}

}  // namespace
