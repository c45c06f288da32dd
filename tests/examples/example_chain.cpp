// The bundled example chain, read with a reader of its own: its shape, the quotes the cheap-option
// filter removes (the same under both put rules of the readers), the calibrator's limits on what
// is left, and no static arbitrage between the model quotes.

#include "calibration/header_chain.h"
#include "calibration/quote_filters.h"
#include "numerics/black_scholes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

HeaderChain readChain()
{
    std::ifstream in(std::string(SARNEX_TEST_DATA_DIR) + "/../../examples/OptionsData.txt");
    HeaderChain c = readHeaderChain(in);
    EXPECT_FALSE(c.rowCutShort);
    EXPECT_FALSE(c.tooManyRows);
    return c;
}

double callPrice(const OptionQuote& q)
{
    return blackScholesPrice(q.S, q.K, q.r, q.d, q.marketIV, q.T / kDaysPerYear, 0);
}

// The records left by the cheap-option filter, sorted, T in days.
std::vector<OptionQuote> kept(HeaderChain c, std::size_t* dropped = nullptr)
{
    sortAndDropRepeats(c.quotes);
    const std::size_t n = dropCheapOptions(c.quotes);
    if (dropped)
        *dropped = n;
    return c.quotes;
}

// An expiration bucket: the records of one expiry, strikes ascending.
std::map<double, std::vector<OptionQuote>> buckets(const std::vector<OptionQuote>& quotes)
{
    std::map<double, std::vector<OptionQuote>> out;
    for (const OptionQuote& q : quotes)
        out[q.T].push_back(q);
    return out;
}

TEST(ExampleChain, HasTheAdvertisedShapeAndPassesTheChecksAfterTheCheapQuotesGo)
{
    const HeaderChain c = readChain();
    ASSERT_EQ(c.spot, 100.0);
    EXPECT_EQ(c.forText, "EXAMPLE");
    EXPECT_EQ(c.onText, "generated data");
    ASSERT_GE(c.quotes.size(), 60u);
    ASSERT_LE(c.quotes.size(), 100u);
    std::set<std::pair<double, double>> points;
    for (const OptionQuote& q : c.quotes) {
        EXPECT_TRUE(points.insert({q.T, q.K}).second) << "two quotes at " << q.T << ", " << q.K;
        EXPECT_GE(q.K, 0.7 * c.spot);
        EXPECT_LE(q.K, 1.3 * c.spot);
    }

    std::size_t dropped = 0;
    const std::vector<OptionQuote> left = kept(c, &dropped);
    EXPECT_GE(dropped, 2u);
    EXPECT_LE(dropped, 6u);
    // The calibrator's limits, on what the filter leaves.
    EXPECT_GE(left.size(), 20u);
    const auto byExpiry = buckets(left);
    ASSERT_GE(byExpiry.size(), 5u);
    ASSERT_LE(byExpiry.size(), 8u);
    EXPECT_GE(byExpiry.begin()->first, 28.0);
    EXPECT_LE(byExpiry.begin()->first, 32.0);
    EXPECT_GE(byExpiry.rbegin()->first, 720.0);
    EXPECT_LE(byExpiry.rbegin()->first, 740.0);
    for (const auto& [days, quotes] : byExpiry) {
        EXPECT_GE(days, 1.0);
        EXPECT_LE(days, 1825.0);
        int puts = 0;
        for (const OptionQuote& q : quotes) {
            puts += q.callPut;
            EXPECT_LE(q.S / q.K, 5.0);
            EXPECT_LE(q.K / q.S, 3.0);
            EXPECT_GE(q.r, -0.01);
            EXPECT_LE(q.r, 0.2);
            EXPECT_GE(q.d, -0.2);
            EXPECT_LE(q.d, 0.3);
        }
        EXPECT_GE(puts, 2) << days;
        EXPECT_GE(static_cast<int>(quotes.size()) - puts, 2) << days;
    }
}

// Model-free bounds that any model's prices obey: per expiry, call prices fall with the strike, by
// less than the discounted strike step, and are convex in it; the total variance at the money
// grows with the expiry. A generator that mixed up strikes, expiries or the put/call side of its
// IVs breaks them by far more than the tolerance (1e-9 of the spot: six decimals of IV leave a
// relative price error near 1e-7 on prices of a few units at most).
TEST(ExampleChain, ModelQuotesAdmitNoStaticArbitrage)
{
    const HeaderChain c = readChain();
    const double tol = 1e-9 * c.spot;
    double previousVariance = 0.0;
    for (const auto& [days, quotes] : buckets(kept(c))) {
        const double T = days / kDaysPerYear;
        for (std::size_t i = 1; i < quotes.size(); ++i) {
            const double step = quotes[i].K - quotes[i - 1].K;
            const double drop = callPrice(quotes[i - 1]) - callPrice(quotes[i]);
            EXPECT_GT(drop, -tol) << days << " days, K " << quotes[i].K;
            EXPECT_LT(drop, std::exp(-quotes[i].r * T) * step + tol) << days << " days";
            if (i + 1 < quotes.size()) {
                const double next = (callPrice(quotes[i]) - callPrice(quotes[i + 1])) /
                                    (quotes[i + 1].K - quotes[i].K);
                EXPECT_GT(drop / step, next - tol) << days << " days, K " << quotes[i].K;
            }
        }
        // IV of the strike nearest the forward: the total variance grows by far more between
        // expiries than the smile changes over one strike step.
        const double forward = c.spot * std::exp((quotes[0].r - quotes[0].d) * T);
        const OptionQuote* nearest = &quotes[0];
        for (const OptionQuote& q : quotes)
            if (std::fabs(q.K - forward) < std::fabs(nearest->K - forward))
                nearest = &q;
        const double variance = nearest->marketIV * nearest->marketIV * T;
        EXPECT_GT(variance, previousVariance) << days << " days";
        previousVariance = variance;
    }
}

}  // namespace
