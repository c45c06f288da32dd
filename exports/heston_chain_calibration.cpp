#include "exports/heston_chain_calibration.h"

#include "calibration/count_first_chain.h"
#include "calibration/header_chain.h"
#include "calibration/heston_model_ivs.h"
#include "heston/vanilla_heston_export.h"
#include "platform/platform.h"

#include <cmath>
#include <exception>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double kNoChainFile = 10000.0;
constexpr double kFailed = -999.0;
const char* const kResultsFileName = "Results.txt";
constexpr int kResultsPrecision = 15;

const char* const kUnknownError = "Unknown error...";

void logFailure(const std::string& message)
{
    const std::string stars(85, '*');
    try {
        platform::appendText(hestonPriceLogPath(), stars + "\n" + message + "\n" + stars + "\n\n");
    } catch (...) {
        // The record is lost; the caller still learns of the failure from the result.
    }
}

std::string optionFailure(const QuoteRow& row, const std::string& what)
{
    std::ostringstream text;
    text.precision(16);
    text << "HESTON_VanillaCalibration: " << what << " (option K = " << row.K << ", T = " << row.T
         << ")";
    return text.str();
}

// The squared IV error of one option; throws when it has no price or no implied volatility.
double squaredError(const QuoteRow& row, double v0, double vL, double theta, double volvol,
                    double rho)
{
    const double iv =
        hestonFitIV(row.S, row.K, row.T, row.r, row.d, row.callPut, v0, vL, theta, volvol, rho);
    const double error = iv - row.marketIV;
    return error * error;
}

void appendResultsLine(double mean, double v0, double vL, double theta, double volvol, double rho)
{
    std::ostringstream line;
    line.precision(kResultsPrecision);
    line << "Objective function:" << "\t" << mean * 10000 << "\t" << std::sqrt(mean) << "\t"
         << "v0: " << v0 << "\t" << "vL: " << vL << "\t" << "theta: " << theta << "\t"
         << "volvol: " << volvol << "\t" << "rho: " << rho << "\t" << "\n";
    platform::appendText(kResultsFileName, line.str());
}

double meanSquaredError(double v0, double vL, double theta, double volvol, double rho)
{
    const std::string path = optionsDataPath();
    std::ifstream in(path);
    if (!in) {
        logFailure("HESTON_VanillaCalibration: the option chain " + path + " could not be opened");
        return kNoChainFile;
    }
    const CountFirstChain chain = readCountFirstChain(in);
    if (chain.status != ChainReadStatus::ok) {
        logFailure("HESTON_VanillaCalibration: " + chain.problem);
        return kFailed;
    }
    const std::vector<QuoteRow>& rows = chain.rows;
    const int count = static_cast<int>(rows.size());
    std::vector<double> squared(rows.size(), 0.0);
    // One slot per option: copying an exception_ptr cannot throw, so nothing leaves an iteration.
    std::vector<std::exception_ptr> failures(rows.size());
#pragma omp parallel for schedule(static)
    for (int i = 0; i < count; ++i) {
        const std::size_t k = static_cast<std::size_t>(i);
        try {
            squared[k] = squaredError(rows[k], v0, vL, theta, volvol, rho);
        } catch (...) {
            failures[k] = std::current_exception();
        }
    }
    for (std::size_t k = 0; k < failures.size(); ++k) {
        if (!failures[k]) {
            continue;
        }
        try {
            std::rethrow_exception(failures[k]);
        } catch (const std::exception& e) {
            logFailure(optionFailure(rows[k], e.what()));
        } catch (...) {
            logFailure(optionFailure(rows[k], kUnknownError));
        }
        return kFailed;
    }
    // Added in file order, so the result does not depend on the thread count.
    double sum = 0.0;
    for (const double s : squared) {
        sum += s;
    }
    const double mean = sum / static_cast<double>(count);
    appendResultsLine(mean, v0, vL, theta, volvol, rho);
    return std::sqrt(mean);
}

}  // namespace

SARNEX_EXPORT double SARNEX_CALL HESTON_VanillaCalibration(double v0, double vL, double theta,
                                                           double volvol, double rho)
{
    try {
        try {
            return meanSquaredError(v0, vL, theta, volvol, rho);
        } catch (const std::bad_alloc&) {
            logFailure("HESTON_VanillaCalibration: bad allocation");
        } catch (const std::exception& e) {
            logFailure(std::string("HESTON_VanillaCalibration: ") + e.what());
        } catch (...) {
            logFailure(std::string("HESTON_VanillaCalibration: ") + kUnknownError);
        }
    } catch (...) {
        // Not even the record could be made; the result still tells the caller.
    }
    return kFailed;
}
