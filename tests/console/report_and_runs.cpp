// The pieces of the report and of the runs that are plain arithmetic or text: rounding to basis
// points, labels, the high-precision clamp, the history record, the grid raises after a refinement
// stop, the box caution and the extrapolation.

#include "console/calibration_runs.h"
#include "console/report_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(ReportNumbers, BasisPointsRoundHalfAwayFromZero)
{
    // 0.00125 and 0.00135 give exactly 12.5 and 13.5 after the multiplication.
    EXPECT_EQ(basisPoints(0.00125), 13);
    EXPECT_EQ(basisPoints(0.00135), 14);
    EXPECT_EQ(basisPoints(0.000049), 0);
    EXPECT_EQ(basisPoints(0.0123456), 123);
}

TEST(ReportLabels, ConsoleAndFileLabelsByModel)
{
    const double p[5] = {0.5, 0.25, 4.0, 1.5, -0.5};
    const struct {
        int code;
        bool file;
        const char* text;
    } rows[] = {
        {1, false, "v0 = \t 0.5\nvBar = \t 0.25\nkappa =\t 4\nxi = \t 1.5\nrho = \t -0.5\n"},
        {3, true, "v0 = \t 0.5\nvBar = \t 0.25\nkappa =\t 4\nxi = \t 1.5\nrho = \t -0.5\n"},
        {4, false, "v0 = \t 0.5\nalpha =  1\nbeta =\t 4\nxi = \t 1.5\nrho = \t -0.5\n"},
        {4, true, "v0 = \t 0.5\nalpha = \t 1\nbeta =\t 4\nxi = \t 1.5\nrho = \t -0.5\n"},
        {5, false, "sig0 = \t 0.5\nsigBar = 0.25\nkappa =\t 4\nxi = \t 1.5\nrho = \t -0.5\n"},
        {5, true, "sig0 = \t 0.5\nsigBar = \t 0.25\nkappa =\t 4\nxi = \t 1.5\nrho = \t -0.5\n"},
        {6, false, "sig0 = \t 0.5\nalpha =  1\nbeta =\t 4\nxi = \t 1.5\nrho = \t -0.5\n"},
    };
    for (const auto& r : rows) {
        std::ostringstream out;
        printParameterLines(out, p, r.code, r.file);
        EXPECT_EQ(out.str(), r.text) << r.code << (r.file ? " file" : " console");
    }
}

// Options that have no model IV at the calibrated parameters stand in the rows with model IV 0, and
// the report says under its RMSE that the RMSE counts them so (without any, the end-to-end
// transcripts show the line absent).
TEST(ModelIVsReport, SaysHowManyOptionsHaveNoModelIV)
{
    const double p[5] = {0.04, 0.05, 2.0, 1.5, -0.6};
    std::vector<OptionQuote> quotes(3);
    const double strikes[3] = {80.0, 100.0, 150.0};
    for (int i = 0; i < 3; ++i) {
        quotes[i].K = strikes[i];
        quotes[i].T = 73.0;
        quotes[i].marketIV = 0.25;
    }
    const std::vector<double> withZeros = {0.0, 0.25, 0.0};
    ModelIVsReport r;
    r.title = "Calibrated GARCH model parameters for X on Y\n";
    r.p = p;
    r.modelCode = 1;
    r.calibrationSeconds = 1.5;
    r.processorBrand = "CPU";
    r.processorCount = 8;
    r.quotes = &quotes;
    const std::string head = "Calibrated GARCH model parameters for X on Y\n"
                             "v0 = \t 0.04\nvBar = \t 0.05\nkappa =\t 2\nxi = \t 1.5\nrho = \t -0.6\n\n";
    const std::string heads = "Calibration time: 1.5 secs on CPU (number of cores: 8)\n\n"
                              "expiration\tstrike\t  model IV\tmarket IV\n";

    r.modelIVs = &withZeros;
    r.withoutModelIV = countWithoutModelIV(withZeros);
    r.rmse = ivRmse(withZeros, quotes);
    std::ostringstream file;
    writeModelIVsReport(file, r);
    EXPECT_EQ(file.str(), head + "IV RMSE: 0.20412415 (2041 basis points)\n" +
                              "2 of 3 options have no model IV at these parameters: their model IV is "
                              "shown as 0 and the IV RMSE counts them so.\n" +
                              heads + "0.2\t80\t 0\t0.25\n0.2\t100\t 0.25\t0.25\n0.2\t150\t 0\t0.25\n");
}

TEST(HighPrecisionClamp, BoxOfTheReportNarrowedToTheObjectivesRanges)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        int code;
        double in[5];
        double out[5];
    } rows[] = {
        // inside the box: unchanged
        {1, {0.04, 0.05, 2.0, 1.5, -0.6}, {0.04, 0.05, 2.0, 1.5, -0.6}},
        // the report's box for the wider ranges of codes 4 to 6
        {4, {0.0007, 1.5, 150.0, 40.0, -1.2}, {0.001, 1.2, 100.0, 30.0, -1.0}},
        {6, {0.5, 0.5, 2.0, 0.05, 0.5}, {0.5, 0.5, 2.0, 0.1, 0.3}},
        // kappa: 0.005 for codes 1 to 3, 0.01 where the objective refuses less
        {1, {0.04, 0.05, 0.001, 1.5, -0.6}, {0.04, 0.05, 0.005, 1.5, -0.6}},
        {5, {0.2, 0.2, 0.007, 1.5, -0.6}, {0.2, 0.2, 0.01, 1.5, -0.6}},
    };
    for (const auto& r : rows) {
        double p[5];
        std::copy(r.in, r.in + 5, p);
        ASSERT_TRUE(clampForHighPrecision(p, r.code));
        for (int i = 0; i < 5; ++i) EXPECT_EQ(p[i], r.out[i]) << r.code << " " << i;
    }
    double p[5] = {0.04, nan, 2.0, 1.5, -0.6};
    EXPECT_FALSE(clampForHighPrecision(p, 1));
    EXPECT_TRUE(std::isnan(p[1]));
}

TEST(HistoryRecord, ORVX1AddsTheStationaryMeanVariance)
{
    const double p[5] = {0.04, 0.05, 2.0, 1.5, -0.6};
    EXPECT_EQ(historyRecord("SPX", "x", "ORV-X1", 0.001, p, 1.5, 4, 0.0412345678),
              "SPX\tx\tORV-X1\t0.001\t0.04\t0.05\t2\t1.5\t-0.6\t1.5\t0.041234568\n");
}

TEST(RefinementRestart, GridRaisesForTheLevelsReached)
{
    const struct {
        int NS, Nv, NT, rhoLevel, NSLevel, NvLevel;
        bool coarse;
        bool applied;
        int outNS, outNv, outNT, outRhoLevel;
    } rows[] = {
        {60, 30, 30, 0, 0, 2, true, true, 60, 50, 30, 0},     // GARCH speed, NvLevel 2
        {60, 30, 30, 0, 0, 2, false, true, 60, 120, 30, 0},   // accuracy mode
        {60, 30, 30, 0, 0, 4, false, true, 60, 240, 30, 0},
        {60, 150, 30, 0, 0, 1, false, true, 60, 150, 30, 0},  // raising never lowers
        {60, 30, 30, 1, 0, 0, false, true, 60, 30, 60, 2},    // rho: NT set to 60
        {60, 30, 80, 1, 0, 0, false, true, 60, 30, 60, 2},    // ... also when it was larger
        {60, 30, 30, 0, 1, 0, true, true, 100, 40, 30, 0},
        {60, 30, 30, 0, 2, 1, false, true, 200, 100, 30, 0},  // one Nv row and one NS row
        {60, 30, 30, 0, 3, 0, true, true, 180, 50, 30, 0},
        {60, 30, 30, 2, 0, 0, false, false, 60, 30, 30, 2},   // nothing left to apply
    };
    for (const auto& r : rows) {
        CalibrationSettings s;
        s.NS = r.NS;
        s.Nv = r.Nv;
        s.NT = r.NT;
        s.rhoLevel = r.rhoLevel;
        s.NSLevel = r.NSLevel;
        s.NvLevel = r.NvLevel;
        EXPECT_EQ(applyRefinementLevels(s, r.coarse), r.applied);
        EXPECT_EQ(s.NS, r.outNS);
        EXPECT_EQ(s.Nv, r.outNv);
        EXPECT_EQ(s.NT, r.outNT);
        EXPECT_EQ(s.rhoLevel, r.outRhoLevel);
    }
}

TEST(RefinementRestart, StartLevelsFollowTheBaseGrids)
{
    const int ns[][2] = {{60, 0}, {99, 0}, {100, 1}, {199, 1}, {200, 2}, {240, 3}, {400, 3}};
    for (const auto& r : ns) EXPECT_EQ(nsLevelOf(r[0]), r[1]) << r[0];
    const int nv[][2] = {{30, 0}, {80, 1}, {100, 1}, {120, 2}, {179, 2}, {200, 3}, {240, 4}, {300, 4}};
    for (const auto& r : nv) EXPECT_EQ(nvLevelOf(r[0]), r[1]) << r[0];
}

TEST(BoxCaution, TextsByModeAndBound)
{
    const std::string hit =
        "*** CAUTION *** : One of the parameter box constraints has been hit. The model may be stressed.\n";
    EXPECT_EQ(boxCaution(false, false, true, 1), "");
    EXPECT_EQ(boxCaution(true, false, true, 1), hit + "\n");
    EXPECT_EQ(boxCaution(true, true, false, 2), hit + "\n");
    EXPECT_EQ(boxCaution(true, false, false, 0),
              hit + "Try calibrating with the accurate option (1) to allow a wider parameter range\n\n");
    EXPECT_EQ(boxCaution(true, false, false, 2), "");

    const double lb[5] = {0.002, 0.005, 0.01, 0.1, -1.0};
    const double ub[5] = {1.2, 1.2, 20.0, 20.0, 0.0};
    bool rho = true;
    const double inside[5] = {0.04, 0.05, 2.0, 1.5, -0.6};
    EXPECT_FALSE(boxHit(inside, lb, ub, rho));
    const double rhoNearBound[5] = {0.04, 0.05, 2.0, 1.5, -0.99995};
    EXPECT_TRUE(boxHit(rhoNearBound, lb, ub, rho));
    EXPECT_TRUE(rho);
    const double kappaAtBound[5] = {0.04, 0.05, 0.01005, 1.5, -0.6};
    EXPECT_TRUE(boxHit(kappaAtBound, lb, ub, rho));
    EXPECT_FALSE(rho);
}

TEST(SecondRun, ExtrapolatesOnlyWhenEveryParameterMovedByAtMostOnePercent)
{
    // A second-order time error e(h) = C h^2 with h_fine = h_coarse / 1.2: the extrapolation
    // removes it exactly.
    const double truth[5] = {0.04, 0.05, 2.0, 1.5, -0.6};
    const double error[5] = {1e-4, -2e-4, 5e-3, 4e-3, 1e-3};
    double coarse[5];
    double fine[5];
    for (int i = 0; i < 5; ++i) {
        coarse[i] = truth[i] + error[i];
        fine[i] = truth[i] + error[i] / 1.44;
    }
    double p[5];
    std::copy(fine, fine + 5, p);
    ASSERT_TRUE(extrapolateParameters(p, coarse));
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(p[i], truth[i], 1e-12) << i;

    std::copy(fine, fine + 5, p);
    double far[5];
    std::copy(coarse, coarse + 5, far);
    far[2] = fine[2] * 1.015;  // moved by 1.5%
    EXPECT_FALSE(extrapolateParameters(p, far));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(p[i], fine[i]);
}

}  // namespace
