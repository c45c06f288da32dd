// Whole calibrations through the console program, judged against independent truth: a chain made
// from semi-analytic Heston prices must give back its parameters.

#if defined(SARNEX_PROGRAM)

#include "support/console_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace console_test;

namespace {

const std::string kCalibrated =
    "The calibrated model parameters and implied volatilities have been saved in ModelIVs.txt\n";
const std::string kPleaseWait =
    "Please wait while high-precision IV's are being output using the calibrated parameters . . .";

std::string caution(int removed)
{
    return " *** CAUTION *** : The input market IV's should not correspond to option prices of less than\n"
           " *** CAUTION *** : 0.001% of the asset spot. " +
           std::to_string(removed) + " IV's have been excluded from the calibration.\n";
}

// Set B of the reference from three months to five years (1825 days, the longest allowed); the
// reference IVs come from prices accurate to 4e-13.
std::vector<ChainRow> hestonChain()
{
    std::vector<ChainRow> rows;
    for (const HestonReferenceRow& r : hestonReference("B")) {
        if (r.T >= 0.25) rows.push_back({r.iv, r.K, r.T * 365.0, r.r, r.d});
    }
    return rows;
}


// The console of a whole calibration, with {} where the numbers stand.
std::string calibratedTranscript(int cautioned, const std::string& model, const std::string& title)
{
    return dialogueTranscript() + caution(cautioned) + "\nCalibrating . . .\n" + "\n" +
           "Calibrated " + model + " model parameters for " + title + "\n" +
           "v0 = \t {}\nvBar = \t {}\nkappa =\t {}\nxi = \t {}\nrho = \t {}\n" +
           "\nInitial IV RMSE: {},  final IV RMSE: {} ({} basis points)\n" +
           "Calibration time: {} secs.\n\n" + kPleaseWait + "\n\n" + kCalibrated;
}

TEST(ConsoleCalibration, HestonChainGivesBackItsParameters)
{
    const std::vector<HestonReferenceRow> reference = hestonReference("B");
    ASSERT_FALSE(reference.empty());
    const HestonReferenceRow& truth = reference.front();
    ProgramDirectory program;
    program.write("OptionsData.txt", chainText("100", hestonChain(), true, "SPX", "set\tB"));
    const RunResult run = program.run("6\n0\n");
    ASSERT_EQ(run.status, 0);

    // Six of the 55 quotes are too cheap to keep (Black-Scholes price below 1e-5 of the spot:
    // counted independently from the reference IVs).
    const std::string transcript = calibratedTranscript(6, "Heston", "SPX on set\tB");
    std::string mismatch;
    const std::vector<double> shown = matchTemplate(transcript, run.out, mismatch);
    ASSERT_EQ(mismatch, "") << run.out;
    ASSERT_EQ(shown.size(), 9u);

    // The chain is exact to far below a basis point, so the fit must be too; the parameters then
    // follow to the precision the speed mode's step tolerance leaves.
    const double truthP[5] = {truth.v0, truth.vL, truth.kappa, truth.volvol, truth.rho};
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(shown[i], truthP[i], 0.005 * std::fabs(truthP[i])) << "parameter " << i;
    }
    EXPECT_GT(shown[5], 0.001) << "the start point is far from the truth";
    EXPECT_LT(shown[6], 0.5e-4) << "final RMSE below half a basis point";
    EXPECT_EQ(shown[7], 0.0);

    // The report: title, the parameters to eight digits, the RMSE of the model IVs, one row per
    // quote in (expiry, strike) order.
    std::string rowsTemplate;
    std::vector<ChainRow> kept;
    const double cheap[][2] = {{0.25, 50}, {0.25, 150}, {0.25, 200}, {0.5, 150}, {0.5, 200}, {1.0, 200}};
    for (const ChainRow& row : hestonChain()) {
        bool isCheap = false;
        for (const auto& c : cheap) isCheap = isCheap || (row.days == c[0] * 365.0 && row.K == c[1]);
        if (!isCheap) kept.push_back(row);
    }
    for (std::size_t i = 0; i < kept.size(); ++i) rowsTemplate += "{}\t{}\t {}\t{}\n";
    const std::string reportTemplate =
        "Calibrated Heston model parameters for SPX on set\tB\n"
        "v0 = \t {}\nvBar = \t {}\nkappa =\t {}\nxi = \t {}\nrho = \t {}\n"
        "\nIV RMSE: {} ({} basis points)\n"
        "Calibration time: {} secs on " + std::string("{}");
    const std::string report = program.read("ModelIVs.txt");
    const auto brandAt = report.find(" secs on ");
    const auto brandEnd = report.find(" (number of cores: ", brandAt);
    ASSERT_NE(brandEnd, std::string::npos) << report;
    const std::string withoutBrand = report.substr(0, brandAt) + " secs on 0" + report.substr(brandEnd);
    const std::vector<double> written = matchTemplate(
        reportTemplate + " (number of cores: {})\n\nexpiration\tstrike\t  model IV\tmarket IV\n" + rowsTemplate,
        withoutBrand, mismatch);
    ASSERT_EQ(mismatch, "") << report;
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(written[i], shown[i], 1e-5 * std::fabs(shown[i]) + 1e-12);
    EXPECT_LT(written[5], 0.5e-4);
    double sum = 0.0;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const double* row = &written[10 + 4 * i];
        EXPECT_NEAR(row[0], kept[i].days / 365.0, 1e-8);
        EXPECT_EQ(row[1], kept[i].K);
        EXPECT_NEAR(row[3], kept[i].iv, 5e-8 * kept[i].iv);  // eight digits
        sum += (row[2] - row[3]) * (row[2] - row[3]);
    }
    EXPECT_NEAR(std::sqrt(sum / kept.size()), written[5], 1e-7);

    // One history record: the texts (TABs of the second removed), the model, the RMSE and the
    // parameters of the report, the time.
    const std::string history = program.read("CalibrationsHistory.txt");
    const std::vector<double> recorded =
        matchTemplate("SPX\tsetB\tHeston\t{}\t{}\t{}\t{}\t{}\t{}\t{}\n", history, mismatch);
    ASSERT_EQ(mismatch, "") << history;
    for (int i = 0; i < 6; ++i) EXPECT_EQ(recorded[i], written[i < 1 ? 5 : i - 1]) << i;
}


// The bundled example chain holds GARCH diffusion IVs computed on fine grids at v0 0.04, vBar 0.05,
// kappa 2, xi 1.5, rho -0.6 (examples/README.md). Speed mode prices on much coarser grids; what
// separates the fit from those parameters is that discretisation error, a small fraction of a basis
// point in the IVs.
TEST(ConsoleCalibration, GarchSpeedModeOnTheBundledChainGivesBackItsParameters)
{
    std::ifstream bundled(std::string(SARNEX_TEST_DATA_DIR) + "/../../examples/OptionsData.txt");
    std::stringstream chain;
    chain << bundled.rdbuf();
    ASSERT_FALSE(chain.str().empty());
    ProgramDirectory program;
    program.write("OptionsData.txt", chain.str());
    const RunResult run = program.run("1\n0\n");
    ASSERT_EQ(run.status, 0);
    const std::string transcript = calibratedTranscript(4, "GARCH", "EXAMPLE on generated data");
    std::string mismatch;
    const std::vector<double> shown = matchTemplate(transcript, run.out, mismatch);
    ASSERT_EQ(mismatch, "") << run.out;
    const double truth[5] = {0.04, 0.05, 2.0, 1.5, -0.6};
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(shown[i], truth[i], 0.01 * std::fabs(truth[i])) << "parameter " << i;
    }
    EXPECT_LT(shown[6], 0.5e-4);

    const std::string report = program.read("ModelIVs.txt");
    const auto rmseAt = report.find("IV RMSE: ");
    ASSERT_NE(rmseAt, std::string::npos) << report;
    EXPECT_LT(std::stod(report.substr(rmseAt + 9)), 0.5e-4) << "on the high-precision grids";
}

// A chain whose shortest expiry wants a variance below the box (IV 5% at 30 days against 20% a
// year out): the bounded runs stop at the lower bound of v0, and the unconstrained second run of
// accuracy mode steps below the objective's range. The program reports the stop and goes on once
// from the high-precision stage: no console report, but both files, each written once.
TEST(ConsoleCalibration, RangeStopInTheSecondRunStillWritesBothFilesOnce)
{
    std::vector<ChainRow> rows;
    for (double K : {99.0, 99.5, 100.0, 100.5, 101.0}) {
        rows.push_back({0.05 - 0.001 * (K - 100.0), K, 30.0, 0.02, 0.01});
    }
    for (double K = 80.0; K <= 120.0; K += 5.0) {
        rows.push_back({0.2 - 0.001 * (K - 100.0), K, 365.0, 0.02, 0.01});
        rows.push_back({0.21 - 0.001 * (K - 100.0), K, 730.0, 0.02, 0.01});
    }
    ProgramDirectory program;
    program.write("OptionsData.txt", chainText("100", rows, true, "RESUME", "test"));
    const RunResult run = program.run("1\n1\n");
    ASSERT_EQ(run.status, 0);
    const std::string transcript =
        dialogueTranscript() + "\nCalibrating . . .\n" + "\n" +
        "*** CAUTION *** : One of the parameter box constraints has been hit. The model may be stressed.\n\n" +
        "\nv0 is out of range. Stopping optimization.\n\n" +
        "Model parameters before stoppping\nv0 = \t{}\nvBar = \t{}\nkappa =\t{}\nxi = \t{}\nrho = \t{}\n" +
        "\n\n" + kCalibrated;
    std::string mismatch;
    const std::vector<double> stopped = matchTemplate(transcript, run.out, mismatch);
    ASSERT_EQ(mismatch, "") << run.out;
    EXPECT_EQ(stopped[0], 0.002) << "the last accepted iterate of the runs, on the bound";

    const std::string report = program.read("ModelIVs.txt");
    EXPECT_EQ(report.rfind("Calibrated GARCH model parameters for RESUME on test\nv0 = \t 0.002\n", 0), 0u)
        << report;
    EXPECT_NE(report.find("\nIV RMSE: "), std::string::npos);
    // title, five parameters, blank, RMSE, time, blank, column heads, 23 rows
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 1 + 5 + 1 + 1 + 1 + 1 + 1 + 23);
    const std::string history = program.read("CalibrationsHistory.txt");
    EXPECT_EQ(std::count(history.begin(), history.end(), '\n'), 1) << history;
    EXPECT_EQ(history.rfind("RESUME\ttest\tGARCH\t", 0), 0u) << history;
}

}  // namespace

#endif  // SARNEX_PROGRAM
