// The bundled example chain, read with a reader of its own: its shape, the quotes the cheap-option
// filter removes (the same under both put rules of the readers), the calibrator's limits on what
// is left, and no static arbitrage between the model quotes.

#include "numerics/black_scholes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Quote {
    double iv, K, days, r, d;
};

struct Chain {
    std::string lines[7];
    double S = 0.0;
    std::vector<Quote> quotes;
};

Chain readChain()
{
    std::ifstream in(std::string(SARNEX_TEST_DATA_DIR) + "/../../examples/OptionsData.txt");
    Chain c;
    for (std::string& line : c.lines)
        std::getline(in, line);
    c.S = std::stod(c.lines[5]);
    Quote q;
    while (in >> q.iv >> q.K >> q.days >> q.r >> q.d)
        c.quotes.push_back(q);
    EXPECT_TRUE(in.eof()) << "a row could not be read whole";
    return c;
}

double price(const Chain& c, const Quote& q, int callPut)
{
    return blackScholesPrice(c.S, q.K, q.r, q.d, q.iv, q.days / 365.0, callPut);
}

bool cheap(const Chain& c, const Quote& q, bool atTheMoneyIsPut)
{
    const bool put = atTheMoneyIsPut ? q.K <= c.S : q.K < c.S;
    return price(c, q, put ? 1 : 0) / c.S < 1e-5;
}

TEST(ExampleChain, HasTheAdvertisedShapeAndPassesTheChecksAfterTheCheapQuotesGo)
{
    const Chain c = readChain();
    ASSERT_EQ(c.S, 100.0);
    EXPECT_EQ(c.lines[1], "EXAMPLE");
    EXPECT_EQ(c.lines[3], "generated data");
    ASSERT_GE(c.quotes.size(), 60u);
    ASSERT_LE(c.quotes.size(), 100u);

    std::set<std::pair<double, double>> points;
    std::map<double, std::vector<Quote>> kept;  // by expiry, strikes ascending as written
    int dropped = 0;
    for (const Quote& q : c.quotes) {
        EXPECT_TRUE(points.insert({q.days, q.K}).second)
            << "two quotes at " << q.days << ", " << q.K;
        EXPECT_GE(q.K, 0.7 * c.S);
        EXPECT_LE(q.K, 1.3 * c.S);
        // An at-the-money quote counted as a put by one reader and as a call by the other must
        // not be dropped by one only, or the model and market vectors differ in length.
        EXPECT_EQ(cheap(c, q, true), cheap(c, q, false)) << q.days << ", " << q.K;
        if (cheap(c, q, true))
            ++dropped;
        else
            kept[q.days].push_back(q);
    }
    EXPECT_GE(dropped, 2);
    EXPECT_LE(dropped, 6);
    ASSERT_GE(kept.size(), 5u);
    ASSERT_LE(kept.size(), 8u);
    EXPECT_GE(kept.begin()->first, 28.0);
    EXPECT_LE(kept.begin()->first, 32.0);
    EXPECT_GE(kept.rbegin()->first, 720.0);
    EXPECT_LE(kept.rbegin()->first, 740.0);
    EXPECT_GE(c.quotes.size() - dropped, 20u);
    for (const auto& [days, quotes] : kept) {
        EXPECT_GE(days, 1.0);
        EXPECT_LE(days, 1825.0);
        int puts = 0;
        for (const Quote& q : quotes) {
            puts += q.K <= c.S;
            EXPECT_LE(c.S / q.K, 5.0);
            EXPECT_LE(q.K / c.S, 3.0);
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
// less than the discounted strike step, and are convex in it; at a fixed strike a call on the
// forward-scaled strike is worth more the longer it runs. A generator that mixed up strikes,
// expiries or the put/call side of its IVs breaks them by far more than the tolerance (1e-9 of
// the spot: the quotes carry six decimals of IV, i.e. a relative price error near 1e-7).
TEST(ExampleChain, ModelQuotesAdmitNoStaticArbitrage)
{
    const Chain c = readChain();
    std::map<double, std::vector<Quote>> byExpiry;
    for (const Quote& q : c.quotes)
        if (!cheap(c, q, true))
            byExpiry[q.days].push_back(q);
    const double tol = 1e-9 * c.S;
    for (const auto& [days, quotes] : byExpiry) {
        const double T = days / 365.0;
        for (std::size_t i = 1; i < quotes.size(); ++i) {
            const double drop = price(c, quotes[i - 1], 0) - price(c, quotes[i], 0);
            EXPECT_GT(drop, -tol) << days << " days, K " << quotes[i].K;
            EXPECT_LT(drop, std::exp(-quotes[i].r * T) * (quotes[i].K - quotes[i - 1].K) + tol);
            if (i + 1 < quotes.size()) {
                const double slopeLeft = drop / (quotes[i].K - quotes[i - 1].K);
                const double slopeRight = (price(c, quotes[i], 0) - price(c, quotes[i + 1], 0)) /
                                          (quotes[i + 1].K - quotes[i].K);
                EXPECT_GT(slopeLeft, slopeRight - tol) << days << " days, K " << quotes[i].K;
            }
        }
    }
    // Calendar order at the money-forward strike, from the smile of each expiry (IV of the
    // nearest quoted strike is enough: the total variance grows by far more between expiries).
    double previous = 0.0;
    for (const auto& [days, quotes] : byExpiry) {
        double best = 1e300, iv = 0.0;
        for (const Quote& q : quotes) {
            const double forward = c.S * std::exp((q.r - q.d) * days / 365.0);
            if (std::fabs(q.K - forward) < best) {
                best = std::fabs(q.K - forward);
                iv = q.iv;
            }
        }
        const double totalVariance = iv * iv * days / 365.0;
        EXPECT_GT(totalVariance, previous) << days << " days";
        previous = totalVariance;
    }
}

}  // namespace
