// The scheme frame: the time grid (exercise-period rounding, the damped start that must still end
// at expiry), the read-out (interpolation, negative-value search, greeks, results) and the
// refusals of unusable inputs.

#include "schemes/scheme_frame.h"
#include "schemes/support/frame_test_option.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

using namespace frame_test;

namespace {

double sumOfSteps(const std::vector<TimeStep>& steps)
{
    double total = 0.0;
    for (const TimeStep& s : steps)
        total += s.dt;
    return total;
}

}  // namespace

TEST(SchemeFrameTimeGrid, ExercisePeriodsRoundTheStepCount)
{
    Model m;
    Contract c;
    Grid g;
    g.nPeriods = 4;
    g.NT = 50;
    auto o = makeOption(m, c, g);  // priceMode 3: at least five steps per period
    EXPECT_EQ(solve(*o).results[3], 52.0);
    EXPECT_EQ(o->NT, 52);

    g.nPeriods = 1;
    auto plain = makeOption(m, c, g);
    EXPECT_EQ(solve(*plain).results[3], 50.0);

    g.nPeriods = 3;
    g.NT = 4;
    auto few = makeOption(m, c, g);
    EXPECT_EQ(solve(*few).results[3], 15.0);
}

// The damped start takes the first step as two implicit half steps and goes on from there; the
// steps must cover the expiry exactly for every step count, one and two included.
TEST(SchemeFrameTimeGrid, DampedStartStillEndsAtExpiry)
{
    Model m;
    Contract c;
    c.T = 0.75;
    for (int NT : {1, 2, 3, 7, 30}) {
        Grid g;
        g.NT = NT;
        auto o = makeOption(m, c, g);
        o->dampingFlag = true;
        SchemeFrame frame(*o, SchemeFrameSettings{});
        const std::vector<TimeStep> steps = frame.timeSteps(0.3);
        ASSERT_EQ(steps.size(), static_cast<std::size_t>(NT + dampingSubsteps - 1)) << NT;
        EXPECT_NEAR(sumOfSteps(steps), c.T, 1e-14) << NT;
        EXPECT_EQ(steps.back().tauNew, c.T) << NT;
        for (int k = 0; k < dampingSubsteps; ++k) {
            EXPECT_TRUE(steps[k].damping);
            EXPECT_EQ(steps[k].theta, 1.0);
            EXPECT_DOUBLE_EQ(steps[k].dt, c.T / NT / dampingSubsteps);
        }
        EXPECT_TRUE(steps[0].phaseStart);
        if (NT > 1) {
            EXPECT_TRUE(steps[dampingSubsteps].phaseStart);
            EXPECT_FALSE(steps[dampingSubsteps].damping);
            EXPECT_EQ(steps[dampingSubsteps].theta, 0.3);
        }
        for (std::size_t k = 1; k < steps.size(); ++k)
            EXPECT_EQ(steps[k].tauOld, steps[k - 1].tauNew);

        o->dampingFlag = false;
        const std::vector<TimeStep> plain = frame.timeSteps(0.3);
        ASSERT_EQ(plain.size(), static_cast<std::size_t>(NT));
        EXPECT_EQ(plain.back().tauNew, c.T);
    }
}

// A damped solve with one step prices the whole expiry (two implicit half steps are only first
// order accurate, hence the loose bound); one that stopped after half the expiry would be worth
// the half-expiry price, more than 2 below.
TEST(SchemeFrameTimeGrid, DampedSolveWithOneStepPricesTheWholeExpiry)
{
    Model m;
    Contract c;
    Contract half = c;
    half.T = 0.5 * c.T;
    for (int scheme : {4, 8}) {
        Grid g;
        g.scheme = scheme;
        g.NT = 1;
        auto one = makeOption(m, c, g);
        const Solve s = solve(*one);
        EXPECT_EQ(s.results[3], 1.0);
        g.NT = 60;
        const double whole = price(m, c, g);
        const double halfway = price(m, half, g);
        EXPECT_NEAR(s.results[1], whole, 0.6) << "scheme " << scheme;
        EXPECT_GT(std::fabs(s.results[1] - halfway), 1.5) << "scheme " << scheme;
    }
}

class SchemeFrameReadOut : public ::testing::Test {
protected:
    void SetUp() override
    {
        option = makeOption(m, c, g);
        frame = std::make_unique<SchemeFrame>(*option, SchemeFrameSettings{});
        outputs = Array<Array<double>>(5);
        // Node of the strike (= spot) and of v0.
        for (int i = 0; i < frame->n; ++i)
            if (frame->S[i] == c.K)
                iSpot = i;
        for (int j = 0; j <= frame->Nv; ++j)
            if (std::fabs(frame->V[j] - m.v0) < 1e-12)
                jV0 = j;
        ASSERT_GT(iSpot, 0);
        ASSERT_GT(jV0, 0);
        ASSERT_LT(std::fabs(frame->S[iSpot + 1] - c.S) / c.S, 0.05);
    }

    Model m;
    Contract c;
    Grid g;
    std::unique_ptr<OrvHestonVanilla> option;
    std::unique_ptr<SchemeFrame> frame;
    Array<Array<double>> outputs;
    int iSpot = -1;
    int jV0 = -1;
};

TEST_F(SchemeFrameReadOut, InterpolatesPolynomialsExactlyAndFillsOutputs)
{
    auto f = [](double s, double v) { return 1.0 + 0.3 * s + 2.0 * v + 0.01 * s * v * v; };
    frame->readOut([&](int i, int j) { return f(frame->S[i], frame->V[j]); });
    EXPECT_NEAR(frame->interpAtSpot(103.7, 0.05), f(103.7, 0.05), 1e-10);

    option->results[5] = 7.0;
    frame->finishSingle(outputs, SpotGreeks::None);
    const Array<double> results = option->getResults();
    EXPECT_NEAR(results[1], f(c.S, m.v0), 1e-10);
    EXPECT_EQ(results[2], results[1]);
    EXPECT_EQ(results[4], results[1]);
    EXPECT_EQ(results[0], frame->gridTop);
    EXPECT_EQ(results[0], option->calcVmax(c.T));
    EXPECT_EQ(results[3], static_cast<double>(g.NT));
    EXPECT_EQ(results[5], 7.0);
    for (int i = 0; i < frame->n; ++i) {
        EXPECT_EQ(outputs[0][i], option->SGrid[i]);
        EXPECT_NEAR(option->values[i], f(frame->S[i], m.v0), 1e-9 * (1.0 + f(frame->S[i], m.v0)));
        EXPECT_EQ(outputs[1][i], option->values[i]);
        EXPECT_EQ(outputs[4][i], 0.0);
    }
}

// The greeks are taken on the clustered grid the solve used, whatever the object's flag says.
TEST_F(SchemeFrameReadOut, GreeksUseTheClusteredGrid)
{
    option->nonUniformSGrid = false;
    frame->readOut([&](int i, int) { return frame->S[i] * frame->S[i]; });
    frame->finishSingle(outputs, SpotGreeks::SpotNodes);
    EXPECT_FALSE(option->nonUniformSGrid);
    for (int i = 0; i < frame->n; ++i) {
        EXPECT_NEAR(outputs[2][i], 2.0 * frame->S[i], 1e-6 * frame->S[i]) << i;
        EXPECT_NEAR(outputs[3][i], 2.0, 1e-6) << i;
    }
}

// A clearly negative value next to (S, v0) replaces the price in results[2]; a small one, or one
// away from (S, v0), does not.
TEST_F(SchemeFrameReadOut, NearbyNegativeValueReplacesTheAdjustedPrice)
{
    auto withDip = [&](int di, int dj, double dip) {
        frame->readOut([&, di, dj, dip](int i, int j) {
            return i == iSpot + di && j == jV0 + dj ? dip : 10.0;
        });
        frame->finishSingle(outputs, SpotGreeks::None);
        return option->getResults();
    };
    Array<double> r = withDip(1, 0, -0.2);
    EXPECT_DOUBLE_EQ(r[1], 10.0);
    EXPECT_EQ(r[2], -0.2);
    EXPECT_EQ(frame->maxNearbyNegVal(), -0.2);

    r = withDip(1, 0, -0.01);  // ratio -0.001: kept
    EXPECT_EQ(r[2], r[1]);

    int far = iSpot;
    while (far < frame->n - 1 && frame->S[far] < 1.06 * c.S)
        ++far;
    r = withDip(far - iSpot, 0, -5.0);  // more than 5 % away in spot
    EXPECT_EQ(r[2], r[1]);
    EXPECT_EQ(frame->maxNearbyNegVal(), 0.0);
}

TEST(SchemeFrameInputs, UnusableSizesAndInputsAreRefused)
{
    Model m;
    Contract c;
    Grid g;
    g.Nv = 3;
    auto fewVariance = makeOption(m, c, g);
    EXPECT_THROW(SchemeFrame(*fewVariance, SchemeFrameSettings{}), std::runtime_error);

    g = Grid{};
    g.NT = 0;
    auto noSteps = makeOption(m, c, g);
    EXPECT_THROW(SchemeFrame(*noSteps, SchemeFrameSettings{}), std::runtime_error);

    c.T = 0.0;
    auto noExpiry = makeOption(m, c, Grid{});
    EXPECT_THROW(SchemeFrame(*noExpiry, SchemeFrameSettings{}), std::runtime_error);
}

// A scheme number outside 1 to 15 is an error, not the previous solve's price.
TEST(SchemeFrameInputs, UnknownSchemeNumberIsAnError)
{
    Model m;
    Contract c;
    for (int scheme : {0, 16, -3}) {
        Grid g;
        auto o = makeOption(m, c, g);
        solve(*o);
        o->schemeNumber = scheme;
        try {
            solve(*o);
            ADD_FAILURE() << "scheme " << scheme << " priced";
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find("1 to 15"), std::string::npos) << e.what();
        }
    }
}

// The multi-strike read-out: strike K_m is read at S K / K_m and scaled by K_m / K, strikes above
// the spot get the parity term, and with the strike-vector flag a clearly negative value near the
// scaled spot becomes the reported value.
TEST(SchemeFrameMultiStrike, ScaledReadOutParityAndNegativeCheck)
{
    Model m;
    Contract c;
    c.callPut = 1;
    const std::vector<double> strikes = {90.0, 100.0, 110.0};
    for (bool withDip : {false, true}) {
        auto o = makeStrikeVectorOption(m, c, strikes, Grid{}, true);
        SchemeFrame frame(*o, SchemeFrameSettings{});
        const double refK = o->K;
        ASSERT_EQ(refK, 90.0);
        // A put-like table linear in the spot, K e^-rT - s e^-dT + 0.2 s (its call by parity is
        // 0.2 s), or a dip of -3 on the spot nodes within 5 % of S.
        const double dr = std::exp(-c.r * c.T), dd = std::exp(-c.d * c.T);
        frame.readOut([&](int i, int) {
            if (withDip && std::fabs(frame.S[i] - c.S) / c.S < 0.05)
                return -3.0;
            return refK * dr - frame.S[i] * dd + 0.2 * frame.S[i];
        });
        Array<Array<double>> outputs(5);
        frame.finishMultiStrike(outputs);
        const Array<double> r = o->getResults();
        EXPECT_EQ(r[1], 0.0);
        EXPECT_EQ(r[4], 0.0);
        EXPECT_EQ(r[3], static_cast<double>(frame.NT));
        ASSERT_EQ(o->strikePrices.size(), 3u);
        if (!withDip) {
            EXPECT_NEAR(o->strikePrices[0], 90.0 * dr - c.S * dd + 0.2 * c.S, 1e-9);
            EXPECT_NEAR(o->strikePrices[1], 100.0 * dr - c.S * dd + 0.2 * c.S, 1e-9);
            EXPECT_NEAR(o->strikePrices[2], 0.2 * c.S, 1e-9);  // the call, by parity
            EXPECT_EQ(r[2], o->strikePrices[0]);
            for (std::size_t k = 0; k < 3; ++k)
                EXPECT_EQ(o->strikeIVs[k], o->strikePrices[k]);
        } else {
            EXPECT_LT(r[2], -1.0);
        }
    }
}
