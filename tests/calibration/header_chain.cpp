// The header-layout reader and the filters that every chain reader applies after it.

#include "calibration/header_chain.h"
#include "calibration/quote_filters.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const std::string kHeader =
    "Chain of\r\nACME Corp\r\nquoted on\r\n2024-05-06\t(close)\r\nspot\r\n   101.25 USD\r\nIV K days r d\r\n";

HeaderChain read(const std::string& text, std::size_t maxRows = SIZE_MAX)
{
    std::istringstream in(text);
    return readHeaderChain(in, maxRows);
}

TEST(HeaderChain, TitleLinesSpotAndRowsAcrossAnyWhiteSpace)
{
    const HeaderChain chain = read(kHeader + "0.25 90 30 0.01 0.02\r\n0.2\t100\n60 0.015\n0.005 \r\n");
    EXPECT_EQ(chain.forText, "ACME Corp");
    EXPECT_EQ(chain.onText, "2024-05-06\t(close)");
    EXPECT_EQ(chain.spot, 101.25);
    ASSERT_EQ(chain.quotes.size(), 2u);
    const OptionQuote& q = chain.quotes[1];
    EXPECT_EQ(q.index, 1);
    EXPECT_EQ(q.marketIV, 0.2);
    EXPECT_EQ(q.K, 100.0);
    EXPECT_EQ(q.T, 60.0);  // days
    EXPECT_EQ(q.r, 0.015);
    EXPECT_EQ(q.d, 0.005);
    EXPECT_EQ(q.S, 101.25);
}

TEST(HeaderChain, RowLimitRowsCutShortAndSpotFailures)
{
    struct Case {
        std::string data;
        std::size_t maxRows, rows;
        bool cutShort, tooMany;
    };
    const std::string three = "0.2 90 30 0 0\n0.2 95 30 0 0\n0.2 100 30 0 0";
    const Case cases[] = {
        {three, 3, 3, false, false},                       // no final line feed
        {three + "\n \n\t\n", 3, 3, false, false},         // trailing blank lines add nothing
        {three + "\n0.2 105 30 0 0\n", 2, 2, false, true}, // one row beyond the limit
        {three + "\n0.2 105 30 0\n", 10, 3, true, false},  // last row one number short
        {"0.2 90 30 0 0\n0.2 x 30 0 0\n", 10, 1, true, false},
    };
    for (const Case& c : cases) {
        const HeaderChain chain = read(kHeader + c.data, c.maxRows);
        EXPECT_EQ(chain.quotes.size(), c.rows) << c.data;
        EXPECT_EQ(chain.rowCutShort, c.cutShort) << c.data;
        EXPECT_EQ(chain.tooManyRows, c.tooMany) << c.data;
    }
    // no number on line 6 (empty, text first, file too short), or one beyond a double
    for (const char* text : {"a\nb\nc\nd\ne\n\nh\n", "a\nb\nc\nd\ne\nspot: 1\nh\n", "a\nb\n"}) {
        try {
            read(text);
            ADD_FAILURE() << text;
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), "invalid stod argument");
        }
    }
    try {
        read("a\nb\nc\nd\ne\n1e999\nh\n");
        ADD_FAILURE();
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "stod argument out of range");
    }
}

OptionQuote quote(double iv, double K, double days)
{
    OptionQuote q;
    q.marketIV = iv;
    q.K = K;
    q.T = days;
    q.S = 100.0;
    q.r = 0.01;
    return q;
}

TEST(QuoteFilters, OrderRepeatsAndTheCheapOptionFilter)
{
    std::vector<OptionQuote> quotes = {quote(0.2, 110, 60), quote(0.3, 90, 30), quote(0.2, 110, 60),
                                       quote(0.25, 100, 30), quote(0.26, 100, 30), quote(0.3, 90, 30)};
    for (std::size_t i = 0; i < quotes.size(); ++i) quotes[i].index = static_cast<int>(i);
    sortAndDropRepeats(quotes);
    // exact repeats once; two IVs for (30, 100) both kept, in file order
    std::vector<int> order;
    for (const OptionQuote& q : quotes) order.push_back(q.index);
    EXPECT_EQ(order, (std::vector<int>{1, 3, 4, 0}));

    // S 100, 30 days, IV 0.2, r 0.01: price / S is 3.35e-6 for the put at 82, 1.65e-5 at 84,
    // 4.44e-6 for the call at 122 and 1.32e-5 at 120 (closed form), about the 1e-5 line
    std::vector<OptionQuote> chain = {quote(0.2, 82, 30), quote(0.2, 84, 30), quote(0.2, 100, 30),
                                      quote(0.2, 120, 30), quote(0.2, 122, 30)};
    EXPECT_EQ(dropCheapOptions(chain), 2u);
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(chain[0].K, 84.0);
    EXPECT_EQ(chain[0].callPut, 1);
    EXPECT_EQ(chain[2].K, 120.0);
    EXPECT_EQ(chain[2].callPut, 0);
    EXPECT_EQ(chain[1].callPut, 1);  // the strike at the spot is a put for every reader
}

}  // namespace
