// The boundaries the console transcripts cannot show on their accepted side: a chain that passes
// the last checks (dividend yield, market IV) goes on to calibrate.

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

TEST(ChainChecks, DividendOfMinus20PercentAndIVOf200PercentPassEveryCheck)
{
    std::vector<OptionQuote> quotes = twoBuckets(-0.2);
    quotes[3].marketIV = 2.0;
    EXPECT_EQ(chainRefusal(quotes), "");
    EXPECT_EQ(chainRefusal(twoBuckets(-0.2000001)), "The minimum dividend yield allowed is -20%.\n");
    quotes[3].marketIV = 2.0000001;
    EXPECT_EQ(chainRefusal(quotes),
              "The largest market IV allowed is 200% (IVs are decimals: 0.25 for 25%).\n");
}

}  // namespace
