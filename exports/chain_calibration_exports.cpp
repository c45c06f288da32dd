#include "exports/chain_calibration_exports.h"

#include "calibration/count_first_chain.h"
#include "calibration/header_chain.h"
#include "exports/chain_request.h"
#include "exports/price_mode_selector.h"
#include "exports/per_expiry_calibration.h"
#include "exports/per_option_calibration.h"
#include "model/input_checks.h"
#include "model/scheme_dispatch.h"
#include "model/solver_failure_log.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <fstream>
#include <new>
#include <sstream>
#include <string>

namespace {

constexpr double kNoChainFile = 10000.0;
// Every failure of a whole call: 0.0 would read as a perfect fit, a score of model IVs 0 as a
// plausible misfit, to the caller's optimiser.
constexpr double kFailedCall = -999.0;
// The reach of the implied-volatility search: no model IV lies above it.
constexpr double kLargestModelIV = 2.0;
constexpr int kFirstScheme = 1;
constexpr int kLastScheme = 15;
constexpr int kPerOptionSelector = 3;

const char* const kUnknownError = "Unknown error...";

enum class Way { perOption, perExpiry };

void logFailure(const std::string& message)
{
    const std::string stars(85, '*');
    try {
        appendSolverLog(stars + "\n" + message + "\n" + stars + "\n\n");
    } catch (...) {
        // The record is lost; the caller still learns of the failure from the result.
    }
}

// What the call cannot price whatever the chain holds, or an empty string.
std::string requestError(Way way, const ChainRequest& request)
{
    if (request.NS < 1 || request.Nv < 1 || request.NT < 1) {
        return "The chain calibration needs positive grid sizes NS, Nv and NT";
    }
    if (request.schemeNumber < kFirstScheme || request.schemeNumber > kLastScheme) {
        return "The chain calibration has no scheme number " +
               std::to_string(request.schemeNumber) + " (valid: 1 to 15)";
    }
    if (way == Way::perExpiry && !schemeReadsEveryStrike(request.schemeNumber)) {
        return "The chain calibration per expiry cannot price with scheme number " +
               std::to_string(request.schemeNumber) +
               ", whose routine prices one strike per solve (valid: 1 to 5, 10, 12 to 15)";
    }
    std::string error = modelInputError(request.v0, request.vL, request.theta, request.volvol,
                                        request.rho);
    if (error.empty()) error = modelCodeError(request.modelCode);
    if (error.empty()) error = finiteError("SmaxUser", request.SmaxUser);
    if (error.empty()) error = finiteError("vcritQuantile", request.vcritQuantile);
    if (error.empty() && !(request.vcritQuantile > 0.0)) {
        std::ostringstream text;
        text.precision(16);
        text << "vcritQuantile must be positive (" << request.vcritQuantile << ")";
        error = text.str();
    }
    if (error.empty()) error = gridSizeError(request.NS, request.Nv, request.NT);
    return error.empty() ? error : "The chain calibration refuses its arguments: " + error;
}

// Whether the squared errors of the rows can be summed: each is at most max(market IV, 2)^2.
bool errorSumIsFinite(const std::vector<QuoteRow>& rows)
{
    double bound = 0.0;
    for (const QuoteRow& row : rows) {
        const double worst = std::max(row.marketIV, kLargestModelIV);
        bound += worst * worst;
    }
    return std::isfinite(bound);
}

double rootMeanSquare(Way way, const ChainRequest& request)
{
    const std::string path = optionsDataPath();
    std::ifstream in(path);
    if (!in) {
        logFailure("The option chain " + path + " could not be opened");
        return kNoChainFile;
    }
    const std::string refused = requestError(way, request);
    if (!refused.empty()) {
        logFailure(refused);
        return kFailedCall;
    }
    const CountFirstChain chain = readCountFirstChain(in);
    if (chain.status != ChainReadStatus::ok) {
        logFailure(chain.problem);
        return kFailedCall;
    }
    if (!errorSumIsFinite(chain.rows)) {
        logFailure("The market IVs of OptionsData.txt are too large for their squared errors to "
                   "be summed");
        return kFailedCall;
    }
    const ChainErrors errors = way == Way::perOption ? perOptionSquaredErrors(chain.rows, request)
                                                     : perExpirySquaredErrors(chain.rows, request);
    if (errors.priced == 0) {
        logFailure("No option of the chain could be priced to an implied volatility");
        return kFailedCall;
    }
    return std::sqrt(errors.sum / static_cast<double>(chain.count));
}

double calibrate(Way way, const ChainRequest& request)
{
    try {
        try {
            return rootMeanSquare(way, request);
        } catch (const std::bad_alloc&) {
            logFailure("bad allocation");
        } catch (const std::exception& e) {
            logFailure(e.what());
        } catch (const char* text) {
            logFailure(text ? text : kUnknownError);
        } catch (...) {
            logFailure(kUnknownError);
        }
    } catch (...) {
        // Not even the record could be made; the result still tells the caller.
    }
    return kFailedCall;
}

ChainRequest request(double v0, double vL, double theta, double volvol, double rho, int NS, int Nv,
                     int NT, int schemeNumber, int priceModeSelector, double SmaxUser,
                     double vcritQuantile, int spotGridFlag, int strikeVectorFlag, int modelCode)
{
    ChainRequest r;
    r.v0 = v0;
    r.vL = vL;
    r.theta = theta;
    r.volvol = volvol;
    r.rho = rho;
    r.NS = NS;
    r.Nv = Nv;
    r.NT = NT;
    r.schemeNumber = schemeNumber;
    r.priceMode = priceModeFromSelector(priceModeSelector);
    r.SmaxUser = SmaxUser;
    r.vcritQuantile = vcritQuantile;
    r.spotGridFlag = spotGridFlag;
    r.strikeVectorFlag = strikeVectorFlag;
    r.modelCode = modelCode;
    return r;
}

}  // namespace

SARNEX_EXPORT double SARNEX_CALL GARCH_VanillaPDECalibration(
    double v0, double vL, double theta, double volvol, double rho, int NS, int Nv, int NT,
    int schemeNumber, int priceModeSelector, double SmaxUser, double vcritQuantile,
    int spotGridFlag, int modelCode)
{
    return calibrate(Way::perOption,
                     request(v0, vL, theta, volvol, rho, NS, Nv, NT, schemeNumber,
                             priceModeSelector, SmaxUser, vcritQuantile, spotGridFlag, 0,
                             modelCode));
}

SARNEX_EXPORT double SARNEX_CALL GARCH_VanillaPDECalibrationM(
    double v0, double vL, double theta, double volvol, double rho, int NS, int Nv, int NT,
    int schemeNumber, int priceModeSelector, double SmaxUser, double vcritQuantile,
    int spotGridFlag, int strikeVectorFlag, int modelCode)
{
    return calibrate(Way::perExpiry,
                     request(v0, vL, theta, volvol, rho, NS, Nv, NT, schemeNumber,
                             priceModeSelector, SmaxUser, vcritQuantile, spotGridFlag,
                             strikeVectorFlag, modelCode));
}

SARNEX_EXPORT double SARNEX_CALL HESTON_VanillaPDECalibration(
    double v0, double vL, double theta, double volvol, double rho, int NS, int Nv, int NT,
    int schemeNumber, int priceModeSelector, double SmaxUser, double vcritQuantile,
    int spotGridFlag)
{
    return GARCH_VanillaPDECalibration(v0, vL, theta, volvol, rho, NS, Nv, NT, schemeNumber,
                                       priceModeSelector, SmaxUser, vcritQuantile, spotGridFlag, 0);
}

SARNEX_EXPORT double SARNEX_CALL HESTON_VanillaPDECalibrationM(
    double v0, double vL, double theta, double volvol, double rho, int NS, int Nv, int NT,
    int schemeNumber, int priceModeSelector, double SmaxUser, double vcritQuantile,
    int spotGridFlag)
{
    return GARCH_VanillaPDECalibrationM(v0, vL, theta, volvol, rho, NS, Nv, NT, schemeNumber,
                                        priceModeSelector, SmaxUser, vcritQuantile, spotGridFlag,
                                        0, 0);
}

SARNEX_EXPORT double SARNEX_CALL SVPDECalibration(
    double v0, double vL, double theta, double volvol, double rho, int NS, int Nv, int NT,
    int schemeNumber, int priceModeSelector, double SmaxUser, double vcritQuantile,
    int spotGridFlag, int variantSelector, int modelCode)
{
    if (variantSelector == kPerOptionSelector) {
        return GARCH_VanillaPDECalibration(v0, vL, theta, volvol, rho, NS, Nv, NT, schemeNumber,
                                           priceModeSelector, SmaxUser, vcritQuantile,
                                           spotGridFlag, modelCode);
    }
    return GARCH_VanillaPDECalibrationM(v0, vL, theta, volvol, rho, NS, Nv, NT, schemeNumber,
                                        priceModeSelector, SmaxUser, vcritQuantile, spotGridFlag,
                                        variantSelector, modelCode);
}
