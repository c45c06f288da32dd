// The reach of the log-spot grid below the strike against the steps it leaves at the strike.
//
// A call at 120 with S 100, T 0.5, v0 = vL = 0.04 (volatility scale 0.2), r 0.03, d 0.01 and 60
// intervals; the numbers were worked out by hand from the grid law:
//   upper bound  Smax = 120 exp(0.2 sqrt(0.5) * 5) = 243.3738 (above 100 exp(3 * 0.2 sqrt(0.5)))
//   6-sd bottom  100 exp((0.03 - 0.01 - 0.02) 0.5 - 6 * 0.2 sqrt(0.5)) = 42.8044
//   reach 0.025  bottom 3 = 0.025 K, strike parameter x0 = 0.6775 -> strike node 40,
//                step above the strike ln(40) sinh(4.5 / 60) / sinh(3) = 0.027643
//   reach 0.5    bottom the 6-sd one (60 lies above it), x0 = 0.5409 -> strike node 32,
//                step above the strike ln(120 / 42.8044) sinh(4.5 / 60) / sinh(2.4) = 0.014157
// So the default reach leaves about 10 steps within one standard deviation of the strike, the
// short reach about 20: the coarse-grid accuracy of the log-spot schemes follows from this.

#include "model/support/grid_test_option.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct LogGridCase {
    double reach;
    double bottom;      // spot at the lowest node
    int strikeNode;
    double strikeStep;  // log-spot step from the strike node to the next
};

TEST(LogSpotGrid, ReachSetsTheBottomAndTheStepAtTheStrike)
{
    const double Smax = 243.3737977976967;
    const LogGridCase cases[] = {
        {0.025, 3.0, 40, 0.027643128743429408},
        {0.5, 42.80444911902348, 32, 0.014157150395382578},
    };
    for (const LogGridCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "reach " << c.reach);
        GridTestOption setup;
        setup.K = 120.0;
        setup.T = 0.5;
        setup.vL = 0.04;
        setup.NS = 60;
        auto o = setup.build();
        o->logGridFraction = c.reach;
        Array<double> g;
        o->generateLogSGrid(g, 4.5, false);

        ASSERT_EQ(g.size(), 61u);
        // Hand-worked values: a few ulps of the logarithms and hyperbolic sines apart.
        EXPECT_NEAR(std::exp(g[0]), c.bottom, 1e-12 * c.bottom);
        EXPECT_EQ(o->iToK, c.strikeNode);
        EXPECT_EQ(g[o->iToK], std::log(120.0));
        EXPECT_NEAR(g[o->iToK + 1] - g[o->iToK], c.strikeStep, 1e-12);
        // The strike node rounds the map's centre down, so the 61 nodes reach past the bound.
        EXPECT_GE(g[60], std::log(Smax));
        // The steps grow away from the strike on both sides.
        for (int i = 1; i < o->iToK; ++i)
            EXPECT_GT(g[i] - g[i - 1], g[i + 1] - g[i]) << "node " << i;
        for (int i = o->iToK + 1; i < 60; ++i)
            EXPECT_LT(g[i] - g[i - 1], g[i + 1] - g[i]) << "node " << i;
    }
}

}  // namespace
