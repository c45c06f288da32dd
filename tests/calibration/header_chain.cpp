// The header-layout reader and the filters that every chain reader applies after it.

#include "calibration/header_chain.h"
#include "calibration/quote_filters.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const std::string kHeader = "Chain of\r\nACME Corp\r\nquoted on\r\n2024-05-06\t(close)\r\nspot\r\n"
                            "   101.25 USD\r\nIV K days r d\r\n";

HeaderChain read(const std::string& text, std::size_t maxRows = SIZE_MAX)
{
    std::istringstream in(text);
    return readHeaderChain(in, maxRows);
}

TEST(HeaderChain, KeepsTitleLinesReadsSpotLikeStodAndRowsAcrossAnyWhiteSpace)
{
    const HeaderChain chain =
        read(kHeader + "0.25 90 30 0.01 0.02\r\n0.2\t100\n60 0.015\n0.005 \r\n  0.3 110 30 0 0");
    EXPECT_EQ(chain.forText, "ACME Corp");
    EXPECT_EQ(chain.onText, "2024-05-06\t(close)");
    EXPECT_EQ(chain.spot, 101.25);
    ASSERT_EQ(chain.quotes.size(), 3u);
    EXPECT_FALSE(chain.rowCutShort);
    EXPECT_FALSE(chain.tooManyRows);
    const OptionQuote& second = chain.quotes[1];
    EXPECT_EQ(second.index, 1);
    EXPECT_EQ(second.marketIV, 0.2);
    EXPECT_EQ(second.K, 100.0);
    EXPECT_EQ(second.T, 60.0);  // still days
    EXPECT_EQ(second.r, 0.015);
    EXPECT_EQ(second.d, 0.005);
    EXPECT_EQ(second.S, 101.25);
    EXPECT_EQ(second.callPut, 0);
    EXPECT_EQ(chain.quotes[2].index, 2);
}

TEST(HeaderChain, RowLimitAndRowsCutShort)
{
    struct Case {
        const char* name;
        std::string data;
        std::size_t maxRows;
        std::size_t rows;
        bool cutShort;
        bool tooMany;
    };
    const std::string three = "0.2 90 30 0 0\n0.2 95 30 0 0\n0.2 100 30 0 0";
    const Case cases[] = {
        {"limit reached, no final line feed", three, 3, 3, false, false},
        {"limit reached, final line feed and blanks", three + "\n \n\t\n", 3, 3, false, false},
        {"one row beyond the limit", three + "\n0.2 105 30 0 0\n", 2, 2, false, true},
        {"last row one number short", three + "\n0.2 105 30 0\n", 10, 3, true, false},
        {"a token that is no number", "0.2 90 30 0 0\n0.2 x 30 0 0\n0.2 95 30 0 0\n", 10, 1, true,
         false},
        {"no rows at all", "", 10, 0, false, false},
    };
    for (const Case& c : cases) {
        const HeaderChain chain = read(kHeader + c.data, c.maxRows);
        EXPECT_EQ(chain.quotes.size(), c.rows) << c.name;
        EXPECT_EQ(chain.rowCutShort, c.cutShort) << c.name;
        EXPECT_EQ(chain.tooManyRows, c.tooMany) << c.name;
    }
}

TEST(HeaderChain, SpotLineFailuresCarryTheKnownTexts)
{
    struct Case {
        std::string text;
        bool outOfRange;
    };
    const Case cases[] = {
        {"a\nb\nc\nd\ne\n\nheads\n", false},             // empty spot line
        {"a\nb\nc\nd\ne\nspot: 100\nheads\n", false},    // text before the number
        {"a\nb\nc\n", false},                            // file shorter than six lines
        {"a\nb\nc\nd\ne\n1e999\nheads\n", true},         // beyond a double
    };
    for (const Case& c : cases) {
        try {
            read(c.text);
            ADD_FAILURE() << "no exception for " << c.text;
        } catch (const std::out_of_range& e) {
            EXPECT_TRUE(c.outOfRange) << c.text;
            EXPECT_STREQ(e.what(), "stod argument out of range");
        } catch (const std::invalid_argument& e) {
            EXPECT_FALSE(c.outOfRange) << c.text;
            EXPECT_STREQ(e.what(), "invalid stod argument");
        }
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

TEST(QuoteFilters, SortsByExpiryThenStrikeAndDropsOnlyExactRepeats)
{
    std::vector<OptionQuote> quotes = {quote(0.2, 110, 60), quote(0.3, 90, 30), quote(0.2, 110, 60),
                                       quote(0.25, 100, 30), quote(0.26, 100, 30),
                                       quote(0.3, 90, 30)};
    for (std::size_t i = 0; i < quotes.size(); ++i) quotes[i].index = static_cast<int>(i);
    sortAndDropRepeats(quotes);
    ASSERT_EQ(quotes.size(), 4u);
    // (30, 90) once; (30, 100) twice with different IVs, in file order; (60, 110) once
    EXPECT_EQ(quotes[0].K, 90.0);
    EXPECT_EQ(quotes[0].index, 1);
    EXPECT_EQ(quotes[1].marketIV, 0.25);
    EXPECT_EQ(quotes[2].marketIV, 0.26);
    EXPECT_EQ(quotes[3].index, 0);
}

// S 100, 30 days, IV 0.2, r 0.01, d 0: the Black-Scholes price over the spot is 3.35e-6 for the
// put at 82, 1.65e-5 at 84; 4.44e-6 for the call at 122, 1.32e-5 at 120 (closed form), on both
// sides of the 1e-5 line.
TEST(QuoteFilters, CheapOptionFilterDropsBelowTheLineOnBothSidesUnderEitherPutRule)
{
    for (PutRule rule : {PutRule::StrikeBelowSpot, PutRule::StrikeAtOrBelowSpot}) {
        std::vector<OptionQuote> quotes = {quote(0.2, 82, 30), quote(0.2, 84, 30),
                                           quote(0.2, 100, 30), quote(0.2, 120, 30),
                                           quote(0.2, 122, 30)};
        EXPECT_EQ(dropCheapOptions(quotes, rule), 2u);
        ASSERT_EQ(quotes.size(), 3u);
        EXPECT_EQ(quotes[0].K, 84.0);
        EXPECT_EQ(quotes[0].callPut, 1);
        EXPECT_EQ(quotes[2].K, 120.0);
        EXPECT_EQ(quotes[2].callPut, 0);
        // the strike at the spot: a call for the objective, a put for main and the Heston IVs
        EXPECT_EQ(quotes[1].callPut, rule == PutRule::StrikeBelowSpot ? 0 : 1);
        EXPECT_EQ(quotes[1].T, 30.0);  // the filter leaves days alone
    }
    std::vector<OptionQuote> quotes = {quote(0.2, 100, 73)};
    expiriesToYears(quotes);
    EXPECT_EQ(quotes[0].T, 0.2);
}

}  // namespace
