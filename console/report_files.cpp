#include "console/report_files.h"

#include <algorithm>
#include <cmath>
#include <ios>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double kBasisPoint = 10000.0;
constexpr double kDaysPerYear = 365.0;
constexpr int kORVX1 = 4;
constexpr int kXGBMVol = 6;
constexpr int kIGaVol = 5;

struct Range {
    double low;
    double high;
};

// The report's clamp box, parameter by parameter.
constexpr Range kReportBox[5] = {{0.001, 1.2}, {0.001, 1.2}, {0.005, 100.0}, {0.1, 30.0}, {-1.0, 0.3}};
// Where the objective's range for the volatility models and ORV-X1 is narrower: kappa from 0.01.
constexpr double kSmallestKappaCodes4To6 = 0.01;

bool groupsAlphaBeta(int modelCode) { return modelCode == kORVX1 || modelCode == kXGBMVol; }

}  // namespace

long basisPoints(double rmse) { return std::lround(rmse * kBasisPoint); }

std::string reportTitle(const std::string& modelName, const std::string& forText,
                        const std::string& onText)
{
    return "Calibrated " + modelName + " model parameters for " + forText + " on " + onText + "\n";
}

void printParameterLines(std::ostream& out, const double* p, int modelCode, bool fileLabels)
{
    out << (modelCode >= kIGaVol ? "sig0 = \t " : "v0 = \t ") << p[0] << "\n";
    if (modelCode == kIGaVol) {
        out << (fileLabels ? "sigBar = \t " : "sigBar = ") << p[1] << "\n";
    } else if (groupsAlphaBeta(modelCode)) {
        out << (fileLabels ? "alpha = \t " : "alpha =  ") << p[2] * p[1] << "\n";
    } else {
        out << "vBar = \t " << p[1] << "\n";
    }
    out << (groupsAlphaBeta(modelCode) ? "beta =\t " : "kappa =\t ") << p[2] << "\n";
    out << "xi = \t " << p[3] << "\n";
    out << "rho = \t " << p[4] << "\n";
}

void printConsoleReport(std::ostream& out, const ConsoleReport& report)
{
    out << report.title;
    printParameterLines(out, report.p, report.modelCode, false);
    out << "\n"
        << "Initial IV RMSE: " << report.initialRmse << ",  final IV RMSE: " << report.finalRmse
        << " (" << basisPoints(report.finalRmse) << " basis points)" << "\n";
    out << "Calibration time: " << report.calibrationSeconds << " secs.\n\n";
    out << "Please wait while high-precision IV's are being output using the calibrated parameters . . ."
        << std::flush;
}

void setHighPrecisionGrids(CalibrationSettings& settings)
{
    settings.NS = 400;
    settings.Nv = settings.modelCode == kXGBMVol ? 600 : 240;
    settings.NT = 120;
}

bool clampForHighPrecision(double* p, int modelCode)
{
    if (!std::all_of(p, p + 5, [](double v) { return std::isfinite(v); })) {
        return false;
    }
    for (int i = 0; i < 5; ++i) {
        Range box = kReportBox[i];
        if (i == 2 && modelCode >= kORVX1) {
            box.low = kSmallestKappaCodes4To6;
        }
        p[i] = std::min(std::max(p[i], box.low), box.high);
    }
    return true;
}

double ivRmse(const std::vector<double>& modelIVs, const std::vector<OptionQuote>& quotes)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < quotes.size(); ++i) {
        const double e = modelIVs[i] - quotes[i].marketIV;
        sum += e * e;
    }
    return std::sqrt(sum / static_cast<double>(quotes.size()));
}

std::size_t countWithoutModelIV(const std::vector<double>& modelIVs)
{
    return static_cast<std::size_t>(std::count(modelIVs.begin(), modelIVs.end(), 0.0));
}

std::string withoutModelIVLine(std::size_t count, std::size_t n)
{
    return std::to_string(count) + " of " + std::to_string(n) +
           " options have no model IV at these parameters: their model IV is shown as 0 and the "
           "IV RMSE counts them so.\n";
}

void writeModelIVsReport(std::ostream& out, const ModelIVsReport& report)
{
    out.precision(kFileDigits);
    out << report.title;
    printParameterLines(out, report.p, report.modelCode, true);
    if (report.modelCode == kORVX1) {
        out << "stationary mean variance rate (estimated from the above parameters) =   "
            << report.stationaryMeanVariance << "\n";
    }
    out << "\n" << "IV RMSE: " << report.rmse << " (" << basisPoints(report.rmse) << " basis points)"
        << "\n";
    if (report.withoutModelIV > 0) {
        out << withoutModelIVLine(report.withoutModelIV, report.quotes->size());
    }
    out << "Calibration time: " << report.calibrationSeconds << " secs " << "on "
        << report.processorBrand << " (number of cores: " << report.processorCount << ")" << "\n\n";
    out << "expiration" << "\t" << "strike" << "\t" << "  model IV" << "\t" << "market IV" << "\n";
    const auto& quotes = *report.quotes;
    const auto& modelIVs = *report.modelIVs;
    for (std::size_t i = 0; i < quotes.size(); ++i) {
        out << quotes[i].T / kDaysPerYear << "\t" << quotes[i].K << "\t " << modelIVs[i] << "\t"
            << quotes[i].marketIV << "\n";
    }
}

std::string historyRecord(const std::string& forText, const std::string& onText,
                          const std::string& modelName, double rmse, const double* p,
                          double calibrationSeconds, int modelCode, double stationaryMeanVariance)
{
    std::string on = onText;
    on.erase(std::remove(on.begin(), on.end(), '\t'), on.end());
    std::ostringstream line;
    line.precision(kFileDigits);
    line << forText << "\t" << on << "\t" << modelName << "\t" << rmse;
    for (int i = 0; i < 5; ++i) {
        line << "\t" << p[i];
    }
    line << "\t" << calibrationSeconds;
    if (modelCode == kORVX1) {
        line << "\t" << stationaryMeanVariance;
    }
    line << "\n";
    return line.str();
}

void printStopParameters(std::ostream& out, const std::string& what, const double* p)
{
    out << "\n" << what << "\n\n";
    out << "Model parameters before stoppping\n"
        << "v0 = \t" << p[0] << "\n"
        << "vBar = \t" << p[1] << "\n"
        << "kappa =\t" << p[2] << "\n"
        << "xi = \t" << p[3] << "\n"
        << "rho = \t" << p[4] << "\n";
}
