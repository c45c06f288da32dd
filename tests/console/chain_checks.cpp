// The one boundary the console transcripts cannot show on its accepted side (a chain that passes
// the last check goes on to calibrate), and the values the checks cannot judge.

#include "console/chain_checks.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

std::vector<OptionQuote> twoBuckets(double lastDividend)
{
    std::vector<OptionQuote> quotes;
    for (double T : {60.0, 180.0}) {
        for (double K = 85.0; K <= 130.0; K += 5.0) {
            OptionQuote q;
            q.marketIV = 0.25;
            q.S = 100.0;
            q.K = K;
            q.T = T;
            q.r = 0.02;
            q.d = 0.01;
            q.callPut = K <= 100.0 ? 1 : 0;
            quotes.push_back(q);
        }
    }
    quotes.back().d = lastDividend;
    return quotes;
}

TEST(ChainChecks, DividendOfMinus20PercentPassesEveryCheck)
{
    EXPECT_EQ(chainRefusal(twoBuckets(-0.2)), "");
    EXPECT_EQ(chainRefusal(twoBuckets(-0.2000001)), "The minimum dividend yield allowed is -20%.\n");
}

TEST(ChainChecks, ValuesThatAreNoPositiveFiniteNumbersAreUnusable)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(chainValuesUsable(twoBuckets(0.0), 100.0));
    EXPECT_FALSE(chainValuesUsable(twoBuckets(0.0), nan));
    EXPECT_FALSE(chainValuesUsable(twoBuckets(0.0), -100.0));
    EXPECT_FALSE(chainValuesUsable(twoBuckets(nan), 100.0));
    auto quotes = twoBuckets(0.0);
    quotes[3].T = inf;
    EXPECT_FALSE(chainValuesUsable(quotes, 100.0));
    quotes = twoBuckets(0.0);
    quotes[3].marketIV = 0.0;
    EXPECT_FALSE(chainValuesUsable(quotes, 100.0));
}

}  // namespace
