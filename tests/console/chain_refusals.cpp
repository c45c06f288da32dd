// The chain limits of the console program, each at its boundary: the accepted side and the refused
// side, as the user sees them (the whole console text, byte for byte). An accepted chain here
// carries one row with a dividend yield of -25%, which only the dividend check refuses: its
// refusal shows that every earlier check let the chain through. Only the market-IV check comes
// after it.

#if defined(SARNEX_PROGRAM)

#include "support/console_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using namespace console_test;

namespace {

const std::string kFormat =
    "Please make sure the input file format is correct and that it contains at most 1000 entries.\n";
const std::string kLastCheck = "The minimum dividend yield allowed is -20%.\n";
const std::string kTooFew = "The minimum number of options to be inlcuded in the calibration is 20. \n";

std::vector<ChainRow> withLastCheckTripped(std::vector<ChainRow> rows)
{
    rows[0].d = -0.25;
    return rows;
}

std::string caution(int removed)
{
    return " *** CAUTION *** : The input market IV's should not correspond to option prices of less than\n"
           " *** CAUTION *** : 0.001% of the asset spot. " +
           std::to_string(removed) + " IV's have been excluded from the calibration.\n";
}

// 2 x 500 distinct strikes: a chain of exactly 1000 rows that passes every check.
std::vector<ChainRow> rows1000()
{
    std::vector<ChainRow> rows;
    for (double days : {60.0, 180.0}) {
        for (int i = 0; i < 500; ++i) {
            rows.push_back({0.25, 80.0 + 0.08 * i, days, 0.02, 0.01});
        }
    }
    return rows;
}

// The 60-day bucket replaced by one of the given expiry with strikes close to the spot.
std::vector<ChainRow> withShortBucket(double days)
{
    std::vector<ChainRow> rows = acceptedRows();
    const double strikes[] = {98.5, 99.0, 99.5, 99.75, 100.0, 100.25, 100.5, 101.0, 101.5, 102.0};
    for (int i = 0; i < 10; ++i) {
        rows[i] = {0.25, strikes[i], days, 0.02, 0.01};
    }
    return rows;
}

std::vector<ChainRow> with180Days(double days)
{
    std::vector<ChainRow> rows = acceptedRows();
    for (ChainRow& row : rows) {
        if (row.days == 180.0) row.days = days;
    }
    return rows;
}

// The 60-day bucket: puts at 95 and at the given strike, calls from 105 up.
std::vector<ChainRow> withTwoPuts(double secondPut)
{
    std::vector<ChainRow> rows = acceptedRows();
    const double strikes[] = {95.0, secondPut, 105.0, 110.0, 115.0, 120.0, 125.0, 130.0, 135.0, 140.0};
    for (int i = 0; i < 10; ++i) {
        rows[i] = {0.35, strikes[i], 60.0, 0.02, 0.01};
    }
    return rows;
}

std::vector<ChainRow> plus(std::vector<ChainRow> rows, const ChainRow& extra)
{
    rows.push_back(extra);
    return rows;
}

std::vector<ChainRow> withRow(std::vector<ChainRow> rows, std::size_t at, const ChainRow& row)
{
    rows[at] = row;
    return rows;
}

std::vector<ChainRow> withRate(double r)
{
    return withRow(acceptedRows(), 12, {0.25, 95.0, 180.0, r, 0.01});
}

std::vector<ChainRow> withDividend(double d)
{
    return withRow(acceptedRows(), 12, {0.25, 95.0, 180.0, 0.02, d});
}

struct RefusalCase {
    const char* name;
    std::function<std::string()> chain;
    std::string expectedAfterDialogue;
};

std::string chainOf(const std::vector<ChainRow>& rows, bool finalLineFeed = true)
{
    return chainText("100", rows, finalLineFeed);
}

const ChainRow kCheapPut{0.1, 60.0, 60.0, 0.02, 0.01};       // price / spot far below 1e-5
const ChainRow kRepeatOfRow5{0.25, 110.0, 60.0, 0.02, 0.01};  // row 5 exactly
const ChainRow kConflictWithRow5{0.26, 110.0, 60.0, 0.02, 0.01};

std::vector<RefusalCase> cases()
{
    const auto accepted = [] { return withLastCheckTripped(acceptedRows()); };
    std::vector<ChainRow> nineteen = acceptedRows();
    nineteen.pop_back();
    std::vector<ChainRow> rows1001 = rows1000();
    rows1001.push_back({0.25, 125.0, 180.0, 0.02, 0.01});

    return {
        {"TwentyOptions", [=] { return chainOf(accepted()); }, kLastCheck},
        {"WindowsLineEnds",
         [=] {
             std::string text;
             for (char c : chainOf(accepted())) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
             return text;
         },
         kLastCheck},
        {"NineteenOptions", [=] { return chainOf(nineteen); }, kTooFew},
        {"Rows1000WithFinalLineFeed", [] { return chainOf(withLastCheckTripped(rows1000()), true); },
         kLastCheck},
        {"Rows1000WithoutFinalLineFeed",
         [] { return chainOf(withLastCheckTripped(rows1000()), false); }, kLastCheck},
        {"Rows1001", [=] { return chainOf(withLastCheckTripped(rows1001)); }, kFormat},
        {"Expiry1825Days", [] { return chainOf(withLastCheckTripped(with180Days(1825.0))); }, kLastCheck},
        {"Expiry1826Days", [] { return chainOf(with180Days(1826.0)); },
         "The longest option expiration allowed is 5Y.\n"},
        {"Expiry1Day", [] { return chainOf(withLastCheckTripped(withShortBucket(1.0))); }, kLastCheck},
        {"ExpiryHalfDay", [] { return chainOf(withShortBucket(0.5)); },
         "The shortest option expiration allowed is 1D.\n"},
        {"OneExpiry",
         [] {
             std::vector<ChainRow> rows = with180Days(60.0);
             for (int i = 10; i < 20; ++i) rows[i].K += 2.5;
             return chainOf(rows);
         },
         "The input file should contain options of at least two different expirations.\n"},
        {"AtTheMoneyStrikeIsAPut", [] { return chainOf(withLastCheckTripped(withTwoPuts(100.0))); },
         kLastCheck},
        {"OnePutInABucket", [] { return chainOf(withTwoPuts(100.01)); },
         "The input file should contain at least 2 options either side of the asset spot in each\n"
         "expiration bucket.\n"},
        {"OneCallInTheLastBucket",
         [] {
             std::vector<ChainRow> rows = acceptedRows();
             for (int i = 10; i < 20; ++i) rows[i].K = 60.0 + 5.0 * (i - 10);  // 60 .. 105
             return chainOf(rows);
         },
         "The input file should contain at least 2 options either side of the asset spot in each\n"
         "expiration bucket.\n"},
        {"SmallestStrikeOneFifthOfSpot",
         [=] { return chainOf(plus(accepted(), {2.0, 20.0, 180.0, 0.02, 0.01})); }, kLastCheck},
        {"SmallestStrikeBelowOneFifth",
         [] { return chainOf(plus(acceptedRows(), {2.0, 19.99, 180.0, 0.02, 0.01})); },
         "The smaller strike in the input file shouldn't be less than 20% of the asset spot.\n"},
        {"LargestStrikeThreeTimesSpot",
         [=] { return chainOf(plus(accepted(), {2.0, 300.0, 180.0, 0.02, 0.01})); }, kLastCheck},
        {"LargestStrikeAboveThreeTimes",
         [] { return chainOf(plus(acceptedRows(), {2.0, 300.01, 180.0, 0.02, 0.01})); },
         "The largest strike in the input file shouldn't be more than 3 x asset spot.\n"},
        {"Rate20Percent", [] { return chainOf(withLastCheckTripped(withRate(0.2))); }, kLastCheck},
        {"RateAbove20Percent", [] { return chainOf(withRate(0.20001)); },
         "The maximum interest rate allowed is 20%.\n"},
        {"RateMinus1Percent", [] { return chainOf(withLastCheckTripped(withRate(-0.01))); }, kLastCheck},
        {"RateBelowMinus1Percent", [] { return chainOf(withRate(-0.01001)); },
         "The minimum interest rate allowed is -1%.\n"},
        {"Dividend30Percent", [] { return chainOf(withLastCheckTripped(withDividend(0.3))); }, kLastCheck},
        {"DividendAbove30Percent", [] { return chainOf(withDividend(0.30001)); },
         "The maximum dividend yield allowed is 30%.\n"},
        {"DividendBelowMinus20Percent", [] { return chainOf(withDividend(-0.20001)); }, kLastCheck},
        {"IVsInPercent",
         [] {
             std::vector<ChainRow> rows = acceptedRows();
             for (ChainRow& row : rows) row.iv *= 100.0;
             return chainOf(rows);
         },
         "The largest market IV allowed is 200% (IVs are decimals: 0.25 for 25%).\n"},
        {"ExactRepeatDroppedSilently", [=] { return chainOf(plus(accepted(), kRepeatOfRow5)); }, kLastCheck},
        {"ExactRepeatCountsOnce", [] { return chainOf(withRow(acceptedRows(), 19, kRepeatOfRow5)); }, kTooFew},
        {"SameOptionTwoIVs", [=] { return chainOf(plus(accepted(), kConflictWithRow5)); },
         "The input file should contain only one option for every (strike,expiration) point.\n"},
        {"CheapOptionExcluded", [=] { return chainOf(plus(accepted(), kCheapPut)); },
         caution(1) + kLastCheck},
        {"CheapOptionNotCounted", [] { return chainOf(withRow(acceptedRows(), 19, kCheapPut)); },
         caution(1) + kTooFew},
        {"NonNumericEntry",
         [] { return chainOf(acceptedRows()) + "0.25\t100\tsixty\t0.02\t0.01\n"; }, kFormat},
        {"LastRowCutShort", [] { return chainOf(acceptedRows()) + "0.25\t100\t60\t0.02\n"; }, kFormat},
        {"SpotNotANumber", [] { return chainText("nan", acceptedRows()); }, kFormat},
        {"SpotZero", [] { return chainText("0", acceptedRows()); }, kFormat},
        {"NegativeStrike", [] { return chainOf(withRow(acceptedRows(), 3, {0.25, -95.0, 60.0, 0.02, 0.01})); },
         kFormat},
        {"ZeroIV", [] { return chainOf(withRow(acceptedRows(), 3, {0.0, 100.0, 60.0, 0.02, 0.01})); }, kFormat},
        {"InfiniteRate", [] { return chainOf(acceptedRows()) + "0.25\t100\t90\tinf\t0.01\n"; }, kFormat},
    };
}

class ChainRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ChainRefusal, ConsoleShowsTheDialogueThenTheFirstCheckThatFails)
{
    const RefusalCase& c = GetParam();
    ProgramDirectory program;
    program.write("OptionsData.txt", c.chain());
    program.write("ModelIVs.txt", "an earlier report");
    const RunResult run = program.run("6\n0\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, dialogueTranscript() + c.expectedAfterDialogue);
    EXPECT_EQ(program.read("ModelIVs.txt"), "an earlier report") << "a refused chain touches no report";
    EXPECT_FALSE(program.exists("CalibrationsHistory.txt"));
}

INSTANTIATE_TEST_SUITE_P(AtTheLimits, ChainRefusal, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(ChainFile, MissingFileIsReportedBeforeTheBanner)
{
    ProgramDirectory program;
    const RunResult run = program.run("6\n0\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "The 'OptionsData.txt' file was not found.\n");
}

// An answer that is missing or is not a whole number ends the program at that question, before
// the report of an earlier run is emptied or any history is written.
TEST(Dialogue, MissingOrNotWholeAnswersEndTheProgramBeforeAnyFileIsTouched)
{
    const std::string both = dialogueTranscript();
    const std::string modelOnly = both.substr(0, both.find(" Enter 0 for speed"));
    const std::string noAnswer = "\nNo answer was given. The calibration is not started.\n";
    const struct {
        const char* answers;
        std::string out;
    } cases[] = {
        {"", modelOnly + noAnswer},
        {"abc\n0\n", modelOnly + "\n'abc' is not a whole number. The calibration is not started.\n"},
        {"3\n", both + noAnswer},
        {"3\n0.5\n", both + "\n'0.5' is not a whole number. The calibration is not started.\n"},
        {"99999999999\n0\n",
         modelOnly + "\n'99999999999' is not a whole number. The calibration is not started.\n"},
    };
    for (const auto& c : cases) {
        ProgramDirectory program;
        program.write("OptionsData.txt", chainOf(acceptedRows()));
        program.write("ModelIVs.txt", "an earlier report");
        const RunResult run = program.run(c.answers);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, c.out) << c.answers;
        EXPECT_EQ(program.read("ModelIVs.txt"), "an earlier report") << c.answers;
        EXPECT_FALSE(program.exists("CalibrationsHistory.txt")) << c.answers;
    }
}

TEST(ChainFile, ReadOnlyFileIsRead)
{
    ProgramDirectory program;
    program.write("OptionsData.txt", chainOf(withLastCheckTripped(acceptedRows())));
    std::filesystem::permissions(program.path() / "OptionsData.txt",
                                 std::filesystem::perms::owner_read | std::filesystem::perms::group_read,
                                 std::filesystem::perm_options::replace);
    const RunResult run = program.run("6\n0\n");
    EXPECT_EQ(run.out, dialogueTranscript() + kLastCheck);
}

TEST(ChainFile, SpotThatIsNoNumberStopsThroughTheHandlerWithTheUnsetParameters)
{
    const std::string stopped =
        "\n\nModel parameters before stoppping\nv0 = \t0.15\nvBar = \t0.15\nkappa =\t5\nxi = \t5\n"
        "rho = \t-0.7\n";
    const struct {
        const char* spotLine;
        const char* what;
    } spots[] = {{"spot", "invalid stod argument"}, {"", "invalid stod argument"},
                 {"1e999", "stod argument out of range"}};
    for (const auto& s : spots) {
        ProgramDirectory program;
        program.write("OptionsData.txt", chainText(s.spotLine, acceptedRows()));
        const RunResult run = program.run("6\n0\n");
        EXPECT_EQ(run.out, dialogueTranscript() + "\n" + s.what + stopped) << s.spotLine;
    }
}

}  // namespace

#endif  // SARNEX_PROGRAM
