#pragma once

// What the calibrator shows and keeps at the end: the console report, the high-precision set-up
// (grids and the parameter clamp), "ModelIVs.txt", the line of "CalibrationsHistory.txt", and the
// texts printed when a failure stops the calibration.

#include "calibration/calibration_settings.h"
#include "calibration/option_quote.h"

#include <iosfwd>
#include <string>
#include <vector>

constexpr const char* kModelIVsFile = "ModelIVs.txt";
constexpr const char* kHistoryFile = "CalibrationsHistory.txt";

// Significant digits of the files (the console keeps the stream's default of 6).
constexpr int kFileDigits = 8;

// RMSE in basis points, rounded half away from zero.
long basisPoints(double rmse);

// "Calibrated <model> model parameters for <for> on <on>\n".
std::string reportTitle(const std::string& modelName, const std::string& forText,
                        const std::string& onText);

// The five labelled parameter lines; the console and the files label some lines differently, and
// the ORV-X1 and XGBM vol models show alpha = kappa * p[1] on the second line.
void printParameterLines(std::ostream& out, const double* p, int modelCode, bool fileLabels);

struct ConsoleReport {
    std::string title;
    const double* p = nullptr;
    int modelCode = 3;
    double initialRmse = 0.0;
    double finalRmse = 0.0;
    double calibrationSeconds = 0.0;
};

// Title, parameters, RMSE and time lines, and the "Please wait" line (no line feed after it).
void printConsoleReport(std::ostream& out, const ConsoleReport& report);

// The grids of the high-precision evaluation; the other fields stay.
void setHighPrecisionGrids(CalibrationSettings& settings);

// Clamps p into the box of the high-precision evaluation: the report's box, narrowed where the
// objective's own range for the model is narrower, so that the evaluation is never refused.
// Non-finite parameters cannot be clamped: false, p untouched.
bool clampForHighPrecision(double* p, int modelCode);

// sqrt(mean squared difference) between the model IVs and the records' market IVs.
double ivRmse(const std::vector<double>& modelIVs, const std::vector<OptionQuote>& quotes);

struct ModelIVsReport {
    std::string title;
    const double* p = nullptr;
    int modelCode = 3;
    double stationaryMeanVariance = 0.0;  // written for ORV-X1 only
    double rmse = 0.0;
    std::size_t withoutModelIV = 0;  // options whose model IV is 0: no IV at these parameters
    double calibrationSeconds = 0.0;
    std::string processorBrand;
    int processorCount = 1;
    const std::vector<OptionQuote>* quotes = nullptr;  // T in days
    const std::vector<double>* modelIVs = nullptr;
};

// Options whose model IV is 0.0: the evaluation found none for them at the parameters.
std::size_t countWithoutModelIV(const std::vector<double>& modelIVs);

// The line that says how many options the RMSE counts with model IV 0 (the console prints it
// after the high-precision stage and "ModelIVs.txt" carries it under its RMSE); only written when
// count > 0.
std::string withoutModelIVLine(std::size_t count, std::size_t n);

// The whole of "ModelIVs.txt".
void writeModelIVsReport(std::ostream& out, const ModelIVsReport& report);

// One record of "CalibrationsHistory.txt" (TAB-separated, line feed at the end); TABs of onText
// are dropped so that the record keeps its fields.
std::string historyRecord(const std::string& forText, const std::string& onText,
                          const std::string& modelName, double rmse, const double* p,
                          double calibrationSeconds, int modelCode, double stationaryMeanVariance);

// What the failure handler prints: the failure's text and the parameters reached.
void printStopParameters(std::ostream& out, const std::string& what, const double* p);
