#include "model/option_objects.h"

#include "numerics/black_scholes.h"
#include "numerics/numerical_error.h"

#include "model/support/model_params.h"
#include "model/support/scripted_schemes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double kS = 100.0;
constexpr double kK = 105.0;
constexpr double kT = 0.5;
constexpr double kR = 0.03;
constexpr double kD = 0.01;

// The GARCH diffusion (code 1).
Array<double> params() { return modelParamArray(0.5, 0.04, 0.04, 2.0, -0.5, 1.0); }

std::unique_ptr<OrvHestonVanilla> option(int priceMode, int NT = 100, int scheme = 6,
                                         int exerciseType = 0)
{
    return std::make_unique<OrvHestonVanilla>(
        kS, kK, kT, params(), kR, kD, 40, 20, NT, 0, priceMode, 1, exerciseType,
        Array<double>(0.0, 5), Array<double>(0.0, 5), true, -3.0, 0.0, 0.9, 0, true, 0, 0.0,
        scheme, false);
}

std::unique_ptr<OrvHestonVanilla> strikesOption(int priceMode)
{
    return std::make_unique<OrvHestonVanilla>(
        kS, std::vector<double>{110.0, 95.0}, kT, params(), kR, kD, 40, 20, 100, 0, priceMode, 1,
        0, Array<double>(0.0, 5), Array<double>(0.0, 5), true, -3.0, 0.0, 0.9, 0, true, 0, 0.0,
        6, false, true, 1.0, 0.0);
}

// A solve whose error is a/NS^2 + b/Nv^2 + c*dt^order: Richardson extrapolation in space removes
// the first two exactly, and in time (with the matching order) the third.
struct Convergent {
    double exact;
    int order = 2;
    double a = 50.0;
    double b = 8.0;
    double c = 30.0;

    double value(const OrvHestonVanilla& o) const
    {
        const double dt = kT / o.NT;
        return exact + a / (double(o.NS) * o.NS) + b / (double(o.Nv) * o.Nv) +
               c * std::pow(dt, order);
    }
    // Node values k*x plus errors of the same kind.
    double node(const OrvHestonVanilla& o, int k, double x) const
    {
        const double dt = kT / o.NT;
        return k * x + (x / o.NS) * (x / o.NS) + c * x * std::pow(dt, order);
    }
    scripted::Behaviour behaviour() const
    {
        const Convergent self = *this;
        return [self](OrvHestonVanilla& o, Array<Array<double>>& outs) {
            const double p = self.value(o);
            scripted::writeSolve(o, outs, p, p,
                                 [&](int k, double x) { return self.node(o, k, x); });
        };
    }
};

struct Outs {
    Array<double> o0, o1, o2, o3, o4;
};

void price(OrvHestonVanilla& o, Outs& outs, double* cpu)
{
    o.calcPrice(outs.o0, outs.o1, outs.o2, outs.o3, outs.o4, cpu);
}

void expectNodesExact(const Outs& outs, std::size_t count)
{
    ASSERT_EQ(outs.o0.size(), count);
    const Array<double>* values[] = {&outs.o1, &outs.o2, &outs.o3, &outs.o4};
    for (int k = 1; k <= 4; ++k) {
        ASSERT_EQ(values[k - 1]->size(), count);
        for (std::size_t j = 0; j < count; ++j) {
            EXPECT_NEAR((*values[k - 1])[j], k * outs.o0[j], 1e-9) << k << " " << j;
        }
    }
}

TEST(PriceModes, SpaceExtrapolationRemovesSecondOrderErrors)
{
    Convergent conv{10.0};
    conv.c = 0.0;
    scripted::Install install(conv.behaviour());
    auto o = option(5);
    Outs outs;
    double cpu = 0.0;
    price(*o, outs, &cpu);

    ASSERT_EQ(scripted::calls().size(), 2u);
    EXPECT_EQ(scripted::calls()[0].NS, 40);
    EXPECT_EQ(scripted::calls()[0].Nv, 20);
    EXPECT_EQ(scripted::calls()[1].NS, 80);
    EXPECT_EQ(scripted::calls()[1].Nv, 40);
    for (const auto& call : scripted::calls()) {
        EXPECT_EQ(call.priceMode, 3);  // the schemes see one-solve mode
        EXPECT_EQ(call.NT, 100);
    }
    EXPECT_NEAR(o->results[2], 10.0, 1e-12);
    EXPECT_EQ(o->results[4], o->results[2]);  // no implied volatilities asked for
    EXPECT_EQ(o->NS, 40);
    EXPECT_EQ(o->Nv, 20);
    EXPECT_EQ(o->priceMode, 5);
    EXPECT_GE(cpu, 0.0);
    EXPECT_FALSE(o->computeIVs);

    // Outputs: the coarse nodes, and the node values with the space error removed.
    expectNodesExact(outs, 41u);
}

TEST(PriceModes, ConvergenceTraceWhenSwitchedOn)
{
    // The trace goes to the current directory: run in a directory of our own.
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(::testing::TempDir()) /
                         ("sarnex_conv_" + std::to_string(std::random_device{}()));
    ASSERT_TRUE(fs::create_directories(dir));
    const fs::path previous = fs::current_path();
    fs::current_path(dir);

    Convergent conv{10.0};
    conv.a = 0.0;
    conv.b = 0.0;
    conv.c = 0.0;
    scripted::Install install(conv.behaviour());
    auto o = option(5);
    Outs outs;
    double cpu = 0.0;
    writeConvLog = true;
    price(*o, outs, &cpu);
    writeConvLog = false;

    std::ifstream in("Conv.txt");
    std::stringstream text;
    text << in.rdbuf();
    // Price, strike and expiry, then the coarse NS and the doubled Nv.
    EXPECT_EQ(text.str(), "10 105 0.5NS used: 40\tNv used: 40\n");
    in.close();  // Windows removes no open file
    fs::current_path(previous);
    fs::remove_all(dir);
}

TEST(PriceModes, SpaceExtrapolationThenImpliedVolatility)
{
    const double bs = blackScholesPrice(kS, kK, kR, kD, 0.25, kT, 0);
    Convergent conv{bs};
    conv.c = 0.0;
    scripted::Install install(conv.behaviour());
    auto o = option(5);
    Outs outs;
    double cpu = -1.0;
    price(*o, outs, &cpu);
    EXPECT_TRUE(o->computeIVs);
    EXPECT_NEAR(o->results[2], bs, 1e-12);
    EXPECT_NEAR(o->results[4], 0.25, 1e-10);
    EXPECT_GE(cpu, 0.0);
}

TEST(PriceModes, RefinedSolveLeavesTheCoarseGridCachesForTheNextSolve)
{
    // A routine that chooses its grid parameters like the builders do: once, when unset.
    scripted::Install install([](OrvHestonVanilla& o, Array<Array<double>>& outs) {
        if (o.iToK == 0) {
            o.iToK = o.NS / 2;
        }
        if (o.iToV0 == 0) {
            o.iToV0 = o.Nv / 4;
        }
        if (o.vUpperIntervals == 0) {
            o.vUpperIntervals = 7;
        }
        o.sGridReady = true;
        scripted::writeSolve(o, outs, 5.0, 5.0);
    });
    auto o = option(5);
    Outs outs;
    double cpu = 0.0;
    price(*o, outs, &cpu);
    ASSERT_EQ(scripted::calls().size(), 2u);
    const scripted::Call& fine = scripted::calls()[1];
    EXPECT_EQ(fine.iToK, 40);  // doubled coarse choices, so the fine grid nests the coarse one
    EXPECT_EQ(fine.iToV0, 10);
    EXPECT_EQ(fine.vUpperIntervals, 14);
    EXPECT_FALSE(fine.sGridReady);
    EXPECT_EQ(fine.NSOriginal, 40);

    // A second solve of the same object lays the coarse grids again, not the fine ones.
    price(*o, outs, &cpu);
    ASSERT_EQ(scripted::calls().size(), 4u);
    const scripted::Call& again = scripted::calls()[2];
    EXPECT_EQ(again.NS, 40);
    EXPECT_EQ(again.Nv, 20);
    EXPECT_EQ(again.iToK, 20);
    EXPECT_EQ(again.iToV0, 5);
    EXPECT_EQ(again.vUpperIntervals, 7);
    EXPECT_FALSE(again.sGridReady);
}

TEST(PriceModes, NoPriceOnTheCoarseGridMeansNoFineSolve)
{
    scripted::Install install([](OrvHestonVanilla& o, Array<Array<double>>& outs) {
        scripted::writeSolve(o, outs, 1e-16, 1e-16);
    });
    auto o = option(5);
    Outs outs;
    double cpu = 0.0;
    price(*o, outs, &cpu);
    EXPECT_EQ(scripted::calls().size(), 1u);
    EXPECT_EQ(o->results[2], 1e-16);
    EXPECT_EQ(o->results[4], 1e-16);
    EXPECT_EQ(outs.o0.size(), 41u);
}

TEST(PriceModes, NonPositiveFinePriceIsNotExtrapolatedButNodesAre)
{
    for (double finePrice : {0.0, -0.3}) {
        scripted::Install install([finePrice](OrvHestonVanilla& o, Array<Array<double>>& outs) {
            const bool fine = o.NS == 80;
            const double p = fine ? finePrice : 4.0;
            scripted::writeSolve(o, outs, p, p, [&](int k, double x) {
                return k * x + (x / o.NS) * (x / o.NS);
            });
        });
        auto o = option(5);
        Outs outs;
        double cpu = -1.0;
        price(*o, outs, &cpu);
        EXPECT_EQ(o->results[2], finePrice);
        if (finePrice < 0.0) {
            EXPECT_EQ(o->results[4], 0.0);  // negative: no volatility
        }
        expectNodesExact(outs, 41u);
    }
}

TEST(PriceModes, FailureInsideSpaceExtrapolationIsNoPriceAndRestoresTheSizes)
{
    scripted::Install install([](OrvHestonVanilla& o, Array<Array<double>>& outs) {
        if (o.NS == 80) {
            throw NumericalError("Poly_interp error");
        }
        scripted::writeSolve(o, outs, 4.0, 4.0);
        o.strikePrices = Array<double>(3.0, o.strikes.size());
        o.strikeIVs = o.strikePrices;
    });
    auto o = strikesOption(5);
    Outs outs;
    double cpu = -1.0;
    EXPECT_NO_THROW(price(*o, outs, &cpu));
    EXPECT_EQ(o->results[2], 1e-16);
    ASSERT_EQ(o->strikeIVs.size(), 2u);
    EXPECT_EQ(o->strikeIVs[0], 0.0);
    EXPECT_EQ(o->strikeIVs[1], 0.0);
    EXPECT_EQ(o->priceMode, 5);
    EXPECT_EQ(o->NS, 40);
    EXPECT_EQ(o->Nv, 20);
}

TEST(PriceModes, PerStrikeSpaceExtrapolation)
{
    const double s0 = 0.21;
    const double s1 = 0.24;
    // Sorted strikes 95 (put) and 110 (call).
    const double p0 = blackScholesPrice(kS, 95.0, kR, kD, s0, kT, 1);
    const double p1 = blackScholesPrice(kS, 110.0, kR, kD, s1, kT, 0);
    scripted::Install install([=](OrvHestonVanilla& o, Array<Array<double>>& outs) {
        const double e = 20.0 / (double(o.NS) * o.NS);
        scripted::writeSolve(o, outs, 0.0, 1.0);
        o.strikePrices = Array<double>(2);
        o.strikePrices[0] = p0 + e;
        o.strikePrices[1] = p1 - e;
        o.strikeIVs = o.strikePrices;
    });
    auto o = strikesOption(5);
    Outs outs;
    double cpu = -1.0;
    price(*o, outs, &cpu);
    EXPECT_NEAR(o->strikePrices[0], p0, 1e-12);
    EXPECT_NEAR(o->strikePrices[1], p1, 1e-12);
    EXPECT_NEAR(o->strikeIVs[0], s0, 1e-10);
    EXPECT_NEAR(o->strikeIVs[1], s1, 1e-10);
}

TEST(PriceModes, PerStrikeZeroFinePriceStaysZero)
{
    scripted::Install install([](OrvHestonVanilla& o, Array<Array<double>>& outs) {
        scripted::writeSolve(o, outs, 0.0, 1.0);
        o.strikePrices = Array<double>(2);
        o.strikePrices[0] = o.NS == 80 ? 0.0 : 2.0;
        o.strikePrices[1] = 1.0;
        o.strikeIVs = o.strikePrices;
    });
    auto o = strikesOption(5);
    Outs outs;
    double cpu = 0.0;
    price(*o, outs, &cpu);
    EXPECT_EQ(o->strikePrices[0], 0.0);
    EXPECT_EQ(o->strikePrices[1], 1.0);
    EXPECT_EQ(o->strikeIVs[0], 0.0);
}

TEST(PriceModes, TimeExtrapolationRemovesTheSchemesTimeOrder)
{
    struct Case {
        int scheme;
        int exerciseType;
        int order;
    };
    // Order 2, order 3 for schemes 1 and 15, order 1 when American.
    for (const Case c : {Case{6, 0, 2}, Case{1, 0, 3}, Case{15, 0, 3}, Case{15, 1, 1}}) {
        Convergent conv{7.0};
        conv.order = c.order;
        scripted::Install install(conv.behaviour());
        auto o = option(4, 100, c.scheme, c.exerciseType);
        Outs outs;
        double cpu = 0.0;
        price(*o, outs, &cpu);
        ASSERT_EQ(scripted::calls().size(), 4u);
        EXPECT_EQ(scripted::calls()[0].NT, 45);
        EXPECT_EQ(scripted::calls()[1].NT, 45);
        EXPECT_EQ(scripted::calls()[2].NT, 55);
        EXPECT_EQ(scripted::calls()[3].NT, 55);
        EXPECT_EQ(scripted::calls()[2].NS, 40);
        EXPECT_EQ(scripted::calls()[3].NS, 80);
        EXPECT_NEAR(o->results[2], 7.0, 1e-11) << c.scheme << " " << c.order;
        EXPECT_EQ(o->results[4], o->results[2]);
        EXPECT_EQ(o->NT, 100);  // a second solve splits the same count
        EXPECT_EQ(o->NS, 40);
        EXPECT_EQ(o->Nv, 20);
        EXPECT_EQ(o->priceMode, 4);
        expectNodesExact(outs, 41u);
    }
}

TEST(PriceModes, TimeSplitTruncates)
{
    scripted::Install install(Convergent{7.0}.behaviour());
    auto o = option(4, 10);
    Outs outs;
    double cpu = 0.0;
    price(*o, outs, &cpu);
    ASSERT_EQ(scripted::calls().size(), 4u);
    EXPECT_EQ(scripted::calls()[0].NT, 4);
    EXPECT_EQ(scripted::calls()[2].NT, 6);
    EXPECT_NEAR(o->results[2], 7.0, 1e-11);

    auto tooFew = option(4, 2);
    EXPECT_THROW(price(*tooFew, outs, &cpu), NumericalError);
}

TEST(PriceModes, TimeExtrapolationWithImpliedVolatility)
{
    const double bs = blackScholesPrice(kS, kK, kR, kD, 0.3, kT, 0);
    scripted::Install install(Convergent{bs}.behaviour());
    auto o = option(4);
    Outs outs;
    double cpu = -1.0;
    price(*o, outs, &cpu);
    EXPECT_NEAR(o->results[2], bs, 1e-11);
    EXPECT_NEAR(o->results[4], 0.3, 1e-9);
}

TEST(PriceModes, TimeExtrapolationDoesNotCombineAFailedPair)
{
    // First pair fails inside its fine solve (no price), second pair prices: combining would
    // give about three times the price.
    {
        scripted::Install install([](OrvHestonVanilla& o, Array<Array<double>>& outs) {
            if (o.NT == 45 && o.NS == 80) {
                throw NumericalError("Instability detected");
            }
            scripted::writeSolve(o, outs, 5.0, 5.0);
        });
        auto o = option(4);
        Outs outs;
        double cpu = -1.0;
        price(*o, outs, &cpu);
        EXPECT_EQ(o->results[2], 1e-16);
        EXPECT_EQ(o->results[4], 0.0);
    }
    // A negative safe value of either pair stays visible to the robust solve.
    {
        scripted::Install install([](OrvHestonVanilla& o, Array<Array<double>>& outs) {
            const double p = o.NT == 55 ? -0.2 : 5.0;
            scripted::writeSolve(o, outs, p, p);
        });
        auto o = option(4);
        Outs outs;
        double cpu = 0.0;
        price(*o, outs, &cpu);
        EXPECT_EQ(o->results[2], -0.2);
    }
}

TEST(PriceModes, SecondTimePairStartsFromFreshCaches)
{
    scripted::Install install([](OrvHestonVanilla& o, Array<Array<double>>& outs) {
        if (o.iToK == 0) {
            o.iToK = o.NS / 2;
        }
        o.sStretch = 3.0;
        o.sGridReady = true;
        scripted::writeSolve(o, outs, 5.0, 5.0);
    });
    auto o = option(4);
    Outs outs;
    double cpu = 0.0;
    price(*o, outs, &cpu);
    ASSERT_EQ(scripted::calls().size(), 4u);
    EXPECT_EQ(scripted::calls()[2].iToK, 0);
    EXPECT_FALSE(scripted::calls()[2].sGridReady);
}

TEST(PriceModes, OtherModesSolveOnce)
{
    for (int mode : {3, 1, 0, 7}) {
        scripted::Install install(Convergent{7.0}.behaviour());
        auto o = option(mode);
        Outs outs;
        double cpu = 0.0;
        price(*o, outs, &cpu);
        ASSERT_EQ(scripted::calls().size(), 1u);
        EXPECT_EQ(scripted::calls()[0].priceMode, mode);
        EXPECT_EQ(o->results[2], Convergent{7.0}.value(*o));
        EXPECT_EQ(outs.o1.size(), 41u);
    }
    // A failure of a single solve reaches the caller.
    scripted::Install install([](OrvHestonVanilla&, Array<Array<double>>&) {
        throw NumericalError("Instability detected");
    });
    auto o = option(3);
    Outs outs;
    double cpu = 0.0;
    EXPECT_THROW(price(*o, outs, &cpu), NumericalError);
}

}  // namespace
