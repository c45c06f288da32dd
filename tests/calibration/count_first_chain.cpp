// The count-first chain reader: what it accepts, and every way a file can fall short of its count.

#include "calibration/count_first_chain.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

CountFirstChain read(const std::string& text)
{
    std::istringstream in(text);
    return readCountFirstChain(in);
}

}  // namespace

TEST(CountFirstChain, ReadsTheCountedRowsWithAnyWhiteSpaceAndIgnoresTheRest)
{
    const CountFirstChain chain = read(
        "2\n0.2 100 90 0.5 0.03 0.01 1 0\n"
        "0.25\t100\t110\n1.5 0.03 0.01 0 2\n"
        "this line and the row below are past the count\n0.3 100 120 1 0 0 0 0\n");
    ASSERT_EQ(chain.status, ChainReadStatus::ok) << chain.problem;
    EXPECT_EQ(chain.count, 2);
    ASSERT_EQ(chain.rows.size(), 2u);
    EXPECT_EQ(chain.rows[0].K, 90.0);
    EXPECT_EQ(chain.rows[0].callPut, 1);
    EXPECT_EQ(chain.rows[1].marketIV, 0.25);
    EXPECT_EQ(chain.rows[1].T, 1.5);
    EXPECT_EQ(chain.rows[1].exerciseType, 2);
    EXPECT_TRUE(chain.problem.empty());
}

TEST(CountFirstChain, RefusesEveryChainThatFallsShortOfItsCount)
{
    const struct {
        const char* text;
        ChainReadStatus status;
    } cases[] = {
        {"", ChainReadStatus::badCount},
        {"two\n0.2 100 90 0.5 0.03 0.01 1 0\n", ChainReadStatus::badCount},
        {"-1\n0.2 100 90 0.5 0.03 0.01 1 0\n", ChainReadStatus::badCount},
        {"0\n0.2 100 90 0.5 0.03 0.01 1 0\n", ChainReadStatus::badCount},
        {"99999999999\n0.2 100 90 0.5 0.03 0.01 1 0\n", ChainReadStatus::badCount},  // no int32
        {"2\n0.2 100 90 0.5 0.03 0.01 1 0\n", ChainReadStatus::badRow},            // short file
        {"2147483647\n0.2 100 90 0.5 0.03 0.01 1 0\n", ChainReadStatus::badRow},   // no allocation
        {"1\n0.2 100 90 0.5 0.03 0.01 1\n", ChainReadStatus::badRow},              // short row
        {"1\n0.2 100 x 0.5 0.03 0.01 1 0\n", ChainReadStatus::badRow},             // bad token
        {"1\n0.2 100 90 0.5 0.03 0.01 0.5 0\n", ChainReadStatus::badRow},          // int field
        {"1\n0.2 100 90 1e999 0.03 0.01 1 0\n", ChainReadStatus::badRow},          // overflow
        {"1\n0.2 100 0 0.5 0.03 0.01 1 0\n", ChainReadStatus::badRow},             // no strike
        {"1\n0.2 -100 90 0.5 0.03 0.01 1 0\n", ChainReadStatus::badRow},           // no spot
        {"1\n0.2 100 90 0 0.03 0.01 1 0\n", ChainReadStatus::badRow},              // no expiry
        {"1\n0 100 90 0.5 0.03 0.01 1 0\n", ChainReadStatus::badRow},              // no IV
        {"1\n-0.2 100 90 0.5 0.03 0.01 1 0\n", ChainReadStatus::badRow},           // negative IV
        {"1\n0.2 100 90 0.5 1e300 0.01 1 0\n", ChainReadStatus::badRow},           // no discount
        {"1\n0.2 100 90 0.5 0.03 0.01 7 0\n", ChainReadStatus::badRow},            // callPut
        {"1\n0.2 100 90 0.5 0.03 0.01 1 9\n", ChainReadStatus::badRow},            // exercise
    };
    for (const auto& c : cases) {
        const CountFirstChain chain = read(c.text);
        EXPECT_EQ(chain.status, c.status) << c.text;
        EXPECT_FALSE(chain.problem.empty()) << c.text;
        EXPECT_LE(chain.rows.size(), 1u) << c.text;
    }
    EXPECT_EQ(read("0\n").problem, "OptionsData.txt announces 0 options; at least 1 is needed");
    EXPECT_EQ(read("3\n0.2 100 90 0.5 0.03 0.01 1 0\n").problem,
              "OptionsData.txt announces 3 options, but option 2 is missing or holds a value "
              "that is not a number");
    EXPECT_EQ(read("2\n0.2 100 90 0.5 0.03 0.01 1 0\n0.2 100 90 0.5 0.03 0.01 7 0\n").problem,
              "Option 2 of OptionsData.txt is no valid option: callPut must be 0 (call) or 1 "
              "(put), not 7");
}
