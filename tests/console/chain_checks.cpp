// The one boundary the console transcripts cannot show on its accepted side: a chain that passes
// the last check goes on to calibrate.

#include "console/chain_checks.h"

#include <gtest/gtest.h>

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

}  // namespace
