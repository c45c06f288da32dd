// Every model calibrates valid chains to a written report: the bundled chain, and chains at the
// edges of the program's limits (flat IVs, a five-year expiry, a deep out-of-the-money two-year
// call, a negative rate). Before, the first damped steps reached corners of the box where a wing
// strike had no model IV, and the calibration ended there. Speed mode; the whole calibrations are
// labelled apart so that they can be run or left out as one group.

#if defined(SARNEX_PROGRAM)

#include "support/console_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using namespace console_test;

namespace {

const char* const kModelNames[] = {"GARCH", "Power_law_0.8", "ORV-X1", "I-Ga vol", "XGBM vol",
                                   "Heston"};

std::string bundledChain()
{
    std::ifstream in(std::string(SARNEX_TEST_DATA_DIR) + "/../../examples/OptionsData.txt");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A skew that steepens at short expiries, so that the chain is not the flat one.
double skewIV(double K, double days)
{
    return 0.22 - 0.06 * std::log(K / 100.0) / std::sqrt(days / 365.0);
}

std::vector<ChainRow> gridRows(const std::vector<double>& days, const std::vector<double>& strikes,
                               double r, bool flat)
{
    std::vector<ChainRow> rows;
    for (double t : days) {
        for (double K : strikes) rows.push_back({flat ? 0.25 : skewIV(K, t), K, t, r, 0.01});
    }
    return rows;
}

struct EdgeChain {
    const char* name;
    std::vector<ChainRow> rows;
};

std::vector<EdgeChain> edgeChains()
{
    std::vector<ChainRow> deepCall =
        gridRows({180, 730}, {70, 75, 80, 85, 90, 95, 100, 105, 110, 115, 120, 125, 130}, 0.02, false);
    deepCall.push_back({0.25, 300, 730, 0.02, 0.01});  // a price of 0.019% of the spot
    return {
        {"FlatIV", gridRows({30, 90, 180, 365}, {80, 85, 90, 95, 100, 105, 110, 115, 120}, 0.02, true)},
        {"FiveYears", gridRows({365, 1825}, {60, 70, 80, 90, 100, 110, 120, 140, 160, 180}, 0.02, false)},
        {"DeepCall", deepCall},
        {"NegativeRate", gridRows({60, 180, 365}, {85, 90, 95, 100, 105, 110, 115}, -0.01, false)},
    };
}

// The program reaches its report: the saved-files line, a "ModelIVs.txt" with one row per option
// and a finite RMSE, one history line.
void expectReport(const ProgramDirectory& program, const RunResult& run, int model,
                  std::size_t options)
{
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("The calibrated model parameters and implied volatilities have been "
                           "saved in ModelIVs.txt\n"),
              std::string::npos)
        << run.out;
    const std::string report = program.read("ModelIVs.txt");
    EXPECT_EQ(report.rfind(std::string("Calibrated ") + kModelNames[model - 1], 0), 0u) << report;
    const auto rmseAt = report.find("\nIV RMSE: ");
    ASSERT_NE(rmseAt, std::string::npos) << report;
    EXPECT_TRUE(std::isfinite(std::stod(report.substr(rmseAt + 10)))) << report;
    const auto headsAt = report.find("expiration\tstrike");
    ASSERT_NE(headsAt, std::string::npos) << report;
    EXPECT_EQ(static_cast<std::size_t>(std::count(report.begin() + headsAt, report.end(), '\n')),
              options + 1);
    const std::string history = program.read("CalibrationsHistory.txt");
    EXPECT_EQ(std::count(history.begin(), history.end(), '\n'), 1) << history;
}

class BundledChain : public ::testing::TestWithParam<int> {};

// The bundled chain holds GARCH diffusion IVs (examples/README.md); the other models fit it to a
// few basis points.
TEST_P(BundledChain, SpeedModeReachesTheReport)
{
    ProgramDirectory program;
    program.write("OptionsData.txt", bundledChain());
    const RunResult run = program.run(std::to_string(GetParam()) + "\n0\n");
    expectReport(program, run, GetParam(), 91);
}

INSTANTIATE_TEST_SUITE_P(EveryModel, BundledChain, ::testing::Range(1, 7));

class EdgeOfTheLimits : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(EdgeOfTheLimits, SpeedModeReachesTheReport)
{
    const EdgeChain chain = edgeChains()[static_cast<std::size_t>(std::get<0>(GetParam()))];
    const int model = std::get<1>(GetParam());
    ProgramDirectory program;
    program.write("OptionsData.txt", chainText("100", chain.rows));
    const RunResult run = program.run(std::to_string(model) + "\n0\n");
    SCOPED_TRACE(chain.name);
    expectReport(program, run, model, chain.rows.size());
}

INSTANTIATE_TEST_SUITE_P(EveryModel, EdgeOfTheLimits,
                         ::testing::Combine(::testing::Range(0, 4), ::testing::Range(1, 7)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
                             return std::string(edgeChains()[static_cast<std::size_t>(
                                                    std::get<0>(info.param))].name) +
                                    "_model" + std::to_string(std::get<1>(info.param));
                         });

}  // namespace

#endif
