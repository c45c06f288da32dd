// OrvOptionPricer's time decay and volatility sensitivity under Richardson in time. A program of
// its own: its five solves on the fine multi-level grid take minutes in the emulated 32-bit suite.

#include "exports/support/pricer_call.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

using pricer_test::nearestNode;
using pricer_test::PricerCall;

namespace {

// The Heston call K = S = 100, r 3%, d 1%, priced at priceMode 4 on 100 x 50 x 100.
PricerCall price(double T, double volShift, bool bumps)
{
    const double r = 0.03, volvol = 0.3;
    const double vol = std::sqrt(0.04) + volShift;
    PricerCall call(100);
    call.NS = 100, call.Nv = 50, call.NT = 100, call.priceMode = 4;
    call.rootT = std::sqrt(T), call.r = r, call.d = 0.01;
    // Undoes the export's exp(log(1 + rootT) (params[0] - 5 r)).
    const double params[6] = {std::log(volvol) / std::log(1.0 + call.rootT) + 5.0 * r, vol * vol,
                              vol * vol, 1.5, -0.9, 0.0};
    std::copy(params, params + 6, call.params);
    call.bumpMaturity = call.bumpVariance = bumps;
    EXPECT_EQ(call.call(), "");
    return call;
}

}  // namespace

// Richardson in time splits the step count in two; the bumped maturity and volatility must be
// solved on the same split as the value they are differenced against, or each difference
// measures a change of time grid divided by a bump of 1e-5.
TEST(OptionPricerExport, TimeExtrapolatedThetaAndVegaDifferenceTheCallersDiscretisation)
{
    const double T = 2.0;
    const PricerCall call = price(T, 0.0, true);
    const PricerCall later = price(T * 1.00001, 0.0, false);
    const PricerCall moreVolatile = price(T, 0.00001, false);
    const std::size_t i = nearestNode(call.out[0], call.NS + 1, 100.0);
    ASSERT_NEAR(call.out[0][i], 100.0, 1e-9);
    const double theta = (call.out[1][i] - later.out[1][i]) / (T * 0.00001) / 365.0;
    const double vega = (moreVolatile.out[1][i] - call.out[1][i]) / 0.00001 / 100.0;
    EXPECT_NEAR(call.out[4][i], theta, 1e-8 * std::fabs(theta));
    EXPECT_NEAR(call.out[5][i], vega, 1e-8 * vega);

    // The semi-analytic price at spot 100, differenced centrally (maturity steps 0.01 and 0.005,
    // volatility steps 0.001 and 0.0005) and combined by Richardson: its own error is far below
    // the 0.05% that the solve's discretisation is allowed.
    EXPECT_NEAR(call.out[4][i], -0.009322559871, 5e-4 * 0.009322559871);
    EXPECT_NEAR(call.out[5][i], 0.5203344787, 5e-4 * 0.5203344787);
}
