// Every model calibrates valid chains to a written report: the bundled chain, and chains at the
// edges of the program's limits (flat IVs, a five-year expiry, a deep out-of-the-money two-year
// call, a negative rate). Before, the first damped steps reached corners of the box where a wing
// strike had no model IV, and the calibration ended there. Speed mode; the whole calibrations are
// labelled apart so that they can be run or left out as one group.

#if defined(SARNEX_PROGRAM)

#include "calibration/support/chain_fixtures.h"
#include "support/console_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
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

struct Chain {
    const char* name;
    std::string text;
    std::size_t options;  // after the cheap-option filter
};

Chain rowsChain(const char* name, const std::vector<ChainRow>& rows)
{
    return {name, chainText("100", rows), rows.size()};
}

// The bundled chain (GARCH diffusion IVs, examples/README.md; 91 options after the filter) and
// the edge chains, none of whose options is cheap.
std::vector<Chain> chains()
{
    std::vector<ChainRow> deepCall =
        gridRows({180, 730}, {70, 75, 80, 85, 90, 95, 100, 105, 110, 115, 120, 125, 130}, 0.02, false);
    deepCall.push_back({0.25, 300, 730, 0.02, 0.01});  // a price of 0.019% of the spot
    return {
        {"Bundled", bundledChain(), 91},
        rowsChain("FlatIV", gridRows({30, 90, 180, 365}, {80, 85, 90, 95, 100, 105, 110, 115, 120}, 0.02, true)),
        rowsChain("FiveYears", gridRows({365, 1825}, {60, 70, 80, 90, 100, 110, 120, 140, 160, 180}, 0.02, false)),
        rowsChain("DeepCall", deepCall),
        rowsChain("NegativeRate", gridRows({60, 180, 365}, {85, 90, 95, 100, 105, 110, 115}, -0.01, false)),
    };
}

class EveryModel : public ::testing::TestWithParam<std::tuple<int, int>> {};

// Speed mode reaches the report: the saved-files line, a "ModelIVs.txt" with one row per option
// and a finite RMSE, one history line.
TEST_P(EveryModel, SpeedModeReachesTheReport)
{
    const Chain chain = chains()[static_cast<std::size_t>(std::get<0>(GetParam()))];
    const int model = std::get<1>(GetParam());
    ProgramDirectory program;
    program.write("OptionsData.txt", chain.text);
    const RunResult run = program.run(std::to_string(model) + "\n0\n");
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
              chain.options + 1);
    const std::string history = program.read("CalibrationsHistory.txt");
    EXPECT_EQ(std::count(history.begin(), history.end(), '\n'), 1) << history;
}

INSTANTIATE_TEST_SUITE_P(Chains, EveryModel,
                         ::testing::Combine(::testing::Range(0, 5), ::testing::Range(1, 7)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
                             return std::string(chains()[static_cast<std::size_t>(
                                                    std::get<0>(info.param))].name) +
                                    "_model" + std::to_string(std::get<1>(info.param));
                         });

// Copies of an exact Heston chain whose IVs differ only in the ninth digit all recover its
// parameters. Before, the first damped step reached a corner of the box where the far wings'
// prices were the integration's noise, and whether the search left it hinged on rounding.
TEST(HestonCopies, EveryCopyRecoversTheParameters)
{
    for (unsigned seed = 1; seed <= 10; ++seed) {
        const fixtures::Set set = fixtures::exactHestonSet(1e-9, seed);
        ProgramDirectory program;
        program.write("OptionsData.txt", set.chain());
        ASSERT_EQ(program.run("6\n0\n").status, 0);
        // underlying, date, model, RMSE, the five parameters, seconds
        std::istringstream history(program.read("CalibrationsHistory.txt"));
        std::string field;
        for (int i = 0; i < 3; ++i) std::getline(history, field, '\t');
        double rmse = 1.0;
        std::vector<double> p(5, 0.0);
        history >> rmse >> p[0] >> p[1] >> p[2] >> p[3] >> p[4];
        EXPECT_LT(rmse, 0.1e-4) << "copy " << seed;
        const std::vector<double> truth = set.params();
        for (std::size_t k = 0; k < 5; ++k) EXPECT_NEAR(p[k], truth[k], 1e-3) << "copy " << seed << ", parameter " << k;
    }
}

}  // namespace

#endif
